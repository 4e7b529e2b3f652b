#include "Demo.h"

#include "core/Form1.h"
#include "sim/UnitTypes.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

struct Step {
    int AfterMs;
    std::function<void(Form1&)> Act;
};

void RunSteps(Form1& form, std::shared_ptr<std::vector<Step>> steps, std::size_t next,
              const QString& file) {
    if (next >= steps->size()) {
        const bool saved = form.grab().save(file);
        std::printf("%s\n", saved ? qPrintable(file) : "the screenshot could not be saved");
        std::fflush(stdout);
        QApplication::exit(saved ? 0 : 1);
        return;
    }
    QTimer::singleShot((*steps)[next].AfterMs, &form, [&form, steps, next, file] {
        (*steps)[next].Act(form);
        RunSteps(form, steps, next + 1, file);
    });
}

void WaitForConnection(Form1& form, int triesLeft, std::function<void()> then) {
    if (form.State.Connected == 1 || triesLeft == 0) {
        then();
        return;
    }
    QTimer::singleShot(200, &form,
                       [&form, triesLeft, then] { WaitForConnection(form, triesLeft - 1, then); });
}

} // namespace

void RunScreenshotDemo(Form1& form, const QString& file) {
    auto steps = std::make_shared<std::vector<Step>>(std::vector<Step>{
        {500,
         [](Form1& f) {
             // Step each row's type to the one the simulated unit carries;
             // every row starts at code 0.
             const UnitConfig unit;
             for (int u = 1; u <= kInputUnits; ++u) {
                 const int clicks = static_cast<int>(unit.Inputs[static_cast<std::size_t>(u - 1)]);
                 for (int i = 0; i < clicks; ++i) {
                     f.UnitRow_Click(u);
                 }
             }
             for (int i = 0; i < 5; ++i) {
                 f.Command2_Click(7); // "+" up to ten records
             }
             f.menuT240_Click();
             f.Command2_Click(11); // "Auto-F"
         }},
        {3500, [](Form1& f) { f.Command2_Click(6); }}, // "Stop": bit scan at 400 ms
        {300, [](Form1& f) { f.Command2_Click(2); }},  // "Pattern1"
        {1500, [](Form1&) {}},
    });
    WaitForConnection(form, 75, [&form, steps, file] { RunSteps(form, steps, 0, file); });
}
