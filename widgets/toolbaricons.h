#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

// The main window's tool-bar pictures by key: one per button ("CaptureNew",
// "CaptureSave", "CaptureOpen", "TestCAN", "ResetCAN", "StandbyCAN",
// "ListenCAN", "EnableCAN", "SendCAN"), the capture button's two states
// "CaptureCAN1" and "CaptureCAN2", and "Check".
[[nodiscard]] QHash<QString, QIcon> toolBarIcons();
