#pragma once

#include <QString>

class Form1;

// A short scripted session for the screenshot: once the unit has connected,
// set the unit types, run the record scan over all ten units, return to the
// bit scan, write Pattern1, let a few polls come back, then save the window
// as a PNG and quit. Gives up (and still saves) if no unit connects in time.
void RunScreenshotDemo(Form1& form, const QString& file);
