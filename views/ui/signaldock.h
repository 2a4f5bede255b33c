#pragma once

#include <QDockWidget>

class QLabel;
class QTreeView;
class SignalPane;

// The "Signals" window docked beside the panes: what the signal pane shows
// (lblSignalSource) and its rows (lvSignals). It docks on the right or at the
// bottom, where the panes make room for it, or floats.
class SignalDock final : public QDockWidget
{
    Q_OBJECT
public:
    SignalDock(SignalPane &pane, QWidget *parent = nullptr);

    QLabel *lblSignalSource = nullptr;
    QTreeView *lvSignals = nullptr;

signals:
    // "Add to Plot" of a row's context menu.
    void plotRequested(qint32 keyNumber, int field);
};
