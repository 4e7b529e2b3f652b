#pragma once

#include <QString>

// Texts of the help menu's two boxes.
QString HelpTitle();
QString HelpText();
QString VersionTitle();
QString VersionText();
