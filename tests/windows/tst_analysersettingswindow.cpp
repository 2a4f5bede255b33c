// The settings dialog's window: it shows the loaded settings, and Cancel asks
// before it drops changes.
#include "sender/ui/frmanalysersettings.h"
#include "support/settingsbench.h"
#include "support/testregistry.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class tst_AnalyserSettingsWindow : public QObject
{
    Q_OBJECT

private slots:
    void showsTheSettingsAndCancelAsks()
    {
        Bench b;
        b.seed.params.setParam(QStringLiteral("COMPort"), QStringLiteral("2"));
        frmAnalyserSettings window(*b.settings);
        QCOMPARE(window.cmbCOMPort->currentIndex(), 2);
        QCOMPARE(window.cmbCOMPort->itemData(2, Qt::ToolTipRole).toString(), portDescription(2));
        QCOMPARE(window.cmbCAN_Speed->currentText(), QStringLiteral("500000"));
        // The fresh file's timer is the hidden row 0; the list shows the row of its rate.
        QCOMPARE(window.cmbCAN_Timer->currentText(), QStringLiteral("1000000"));
        QCOMPARE(window.txtSendFrame_TimeOut->text(), QStringLiteral("1000"));
        QVERIFY(!window.cmdApply->isEnabled());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.cmbCAN_Speed->setCurrentIndex(0);
        emit window.cmbCAN_Speed->activated(0);
        QVERIFY(window.cmdApply->isEnabled());
        b.prompts.answers << Prompts::Answer::Cancel;
        window.cmdCancel->click();
        QVERIFY(window.isVisible());
        QCOMPARE(b.prompts.texts(), QStringList{QStringLiteral("Settings was been chanded. Save?")});
        QCOMPARE(window.cmbCAN_Speed->currentIndex(), 0); // the change is kept
        b.prompts.answers << Prompts::Answer::Yes;
        window.cmdCancel->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(b.param("def_CAN_Speed"), QStringLiteral("8")); // the slowest, 10000
    }
};

TESSEL_TEST(tst_AnalyserSettingsWindow)
#include "tst_analysersettingswindow.moc"
