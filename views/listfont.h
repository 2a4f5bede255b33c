#pragma once

#include <QFont>

// The fixed-pitch font of both capture lists, so padded numbers line up:
// "Courier New" when installed, else the system's fixed-pitch font.
// Needs a QGuiApplication.
[[nodiscard]] QFont listFont();
