#pragma once

#include "link/connectiontest.h"
#include "link/packetlink.h"

#include <QDialog>

struct AppContext;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// The connection window: shows the connection test as it runs. Created once
// and only hidden afterwards; it registers itself with the link as the
// connection tester and (through its ConnectionTest) as owner 1.
class frmConnect final : public QDialog, public ConnectionTester
{
    Q_OBJECT
public:
    frmConnect(AppContext &context, PacketLink &link, QWidget *parent = nullptr);
    ~frmConnect() override;

    // Starts the test and shows the window modally; returns once it has been
    // hidden. With showParams the list of parameters is shown and the window
    // stays open after success until "Ok"; without, it hides itself.
    void runConnect(bool showParams, QObject *form);
    void runConnectionTest(bool showParams, QObject *form) override { runConnect(showParams, form); }
    void addLVParams(const QString &name, const QString &value, int step) { test.addLVParams(name, value, step); }

    [[nodiscard]] ConnectionTest &connectionTest() { return test; }

    QTreeWidget *lvListViewParams = nullptr;
    QProgressBar *pbProgressBarParams = nullptr;
    QLineEdit *txtConnectStatus = nullptr;
    QPushButton *cmdCancelOk = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void cmdCancelOk_Click();
    void setLayoutFor(bool showParams);
    [[nodiscard]] int twipsToPixels(int twips) const;
    [[nodiscard]] int pixelsToTwips(int pixels) const;

    AppContext &context;
    PacketLink &link;
    ConnectionTest test;
    int expandedHeight = 0;
};
