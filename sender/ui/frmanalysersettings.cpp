#include "sender/ui/frmanalysersettings.h"

#include "widgets/dialogparts.h"
#include "serial/serialport.h"
#include "sender/ui/focuschecks.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QComboBox *dropDown(const char *name, QWidget *parent)
{
    auto *list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->setEditable(false);
    return list;
}

} // namespace

frmAnalyserSettings::frmAnalyserSettings(AnalyserSettings &settings, QWidget *parent)
    : QDialog(parent)
    , settings(settings)
{
    setObjectName(QStringLiteral("frmAnalyserSettings"));
    setWindowTitle(QStringLiteral("CAN Analiser Settings..."));
    setModal(true);
    checks = new FocusChecks(this);
    createControls();
    connect(&settings, &AnalyserSettings::changed, this, &frmAnalyserSettings::refresh);
    settings.load();
    refreshing = true;
    dialogparts::fillCombo(cmbCAN_Speed, settings.cmbCAN_Speed);
    dialogparts::fillCombo(cmbCAN_Timer, settings.cmbCAN_Timer);
    refreshing = false;
    refresh();
}

frmAnalyserSettings::~frmAnalyserSettings() = default;

void frmAnalyserSettings::createControls()
{
    frmCOMPortSettings = new QGroupBox(QStringLiteral("COM-Port Settings"), this);
    frmCOMPortSettings->setObjectName(QStringLiteral("frmCOMPortSettings"));
    cmbCOMPort = dropDown("cmbCOMPort", frmCOMPortSettings);
    cmbCOMPort->setMinimumContentsLength(6);
    const QStringList ports = AnalyserSettings::portNames();
    for (int i = 0; i < ports.size(); ++i) {
        cmbCOMPort->addItem(ports.at(i));
        cmbCOMPort->setItemData(i, portDescription(i), Qt::ToolTipRole);
    }
    lblCOMDevice = new QLabel(frmCOMPortSettings);
    lblCOMDevice->setObjectName(QStringLiteral("lblCOMDevice"));
    lblCOMDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    {
        auto *layout = new QGridLayout(frmCOMPortSettings);
        layout->addWidget(new QLabel(QStringLiteral("Port :"), frmCOMPortSettings), 0, 0);
        layout->addWidget(cmbCOMPort, 0, 1);
        layout->addWidget(lblCOMDevice, 1, 0, 1, 3);
        layout->setColumnStretch(2, 1);
    }

    frmCANSettings = new QGroupBox(QStringLiteral("Default CAN Settings"), this);
    frmCANSettings->setObjectName(QStringLiteral("frmCANSettings"));
    cmbCAN_Speed = dropDown("cmbCAN_Speed", frmCANSettings);
    cmbCAN_Timer = dropDown("cmbCAN_Timer", frmCANSettings);
    {
        auto *layout = new QGridLayout(frmCANSettings);
        layout->addWidget(new QLabel(QStringLiteral("Speed :"), frmCANSettings), 0, 0);
        layout->addWidget(cmbCAN_Speed, 0, 1);
        layout->addWidget(new QLabel(QStringLiteral("Timer:"), frmCANSettings), 1, 0);
        layout->addWidget(cmbCAN_Timer, 1, 1);
        layout->setColumnStretch(1, 1);
    }

    Frame1 = new QGroupBox(QStringLiteral("Retries and Timeouts"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    txtSendFrame_Retry = new QLineEdit(Frame1);
    txtSendFrame_Retry->setObjectName(QStringLiteral("txtSendFrame_Retry"));
    txtSendFrame_TimeOut = new QLineEdit(Frame1);
    txtSendFrame_TimeOut->setObjectName(QStringLiteral("txtSendFrame_TimeOut"));
    for (QLineEdit *box : {txtSendFrame_Retry, txtSendFrame_TimeOut}) {
        box->setAlignment(Qt::AlignRight);
        box->setFixedWidth(QFontMetrics(box->font()).horizontalAdvance(QStringLiteral("0000000")) + 16);
    }
    {
        auto *layout = new QGridLayout(Frame1);
        layout->addWidget(new QLabel(QStringLiteral("Send Frame Retry :"), Frame1), 0, 0);
        layout->addWidget(txtSendFrame_Retry, 0, 1);
        layout->addWidget(new QLabel(QStringLiteral("Send Frame Timeout :"), Frame1), 1, 0);
        layout->addWidget(txtSendFrame_TimeOut, 1, 1);
        layout->setColumnStretch(2, 1);
    }

    cmdFlashUpdate = dialogparts::button(this, "cmdFlashUpdate", QStringLiteral("Upgrade firmware..."));
    cmdOk = dialogparts::button(this, "cmdOk", QStringLiteral("Ok"));
    cmdCancel = dialogparts::button(this, "cmdCancel", QStringLiteral("Cancel"));
    cmdApply = dialogparts::button(this, "cmdApply", QStringLiteral("Apply"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frmCOMPortSettings);
    layout->addWidget(frmCANSettings);
    layout->addWidget(Frame1);
    layout->addLayout(dialogparts::buttonRow({cmdFlashUpdate}, {cmdOk, cmdCancel, cmdApply}));
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Only the user's choices count as clicks, not the lists being filled.
    connect(cmbCOMPort, &QComboBox::activated, this, [this](int index) { settings.cmbCOMPort_Click(index); });
    connect(cmbCAN_Speed, &QComboBox::activated, this, [this](int index) { settings.cmbCAN_Speed_Click(index); });
    connect(cmbCAN_Timer, &QComboBox::activated, this, [this](int index) { settings.cmbCAN_Timer_Click(index); });
    connect(txtSendFrame_Retry, &QLineEdit::textEdited, this,
            [this](const QString &text) { settings.txtSendFrame_Retry = text; });
    connect(txtSendFrame_TimeOut, &QLineEdit::textEdited, this,
            [this](const QString &text) { settings.txtSendFrame_TimeOut = text; });
    checks->add(txtSendFrame_Retry, [this] { return settings.txtSendFrame_Retry_Validate(); });
    checks->add(txtSendFrame_TimeOut, [this] { return settings.txtSendFrame_TimeOut_Validate(); });

    connect(cmdApply, &QPushButton::clicked, this, [this] { settings.cmdApply_Click(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] {
        settings.cmdApply_Click();
        close();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdFlashUpdate, &QPushButton::clicked, this, [this] { settings.cmdFlashUpdate_Click(); });
}

void frmAnalyserSettings::refresh()
{
    if (refreshing)
        return;
    refreshing = true;
    cmbCOMPort->setCurrentIndex(settings.cmbCOMPort);
    lblCOMDevice->setText(QStringLiteral("Device : ") + settings.portDevice());
    if (cmbCAN_Speed->currentIndex() != settings.cmbCAN_Speed.selected)
        cmbCAN_Speed->setCurrentIndex(settings.cmbCAN_Speed.selected);
    if (cmbCAN_Timer->currentIndex() != settings.cmbCAN_Timer.selected)
        cmbCAN_Timer->setCurrentIndex(settings.cmbCAN_Timer.selected);
    if (txtSendFrame_Retry->text() != settings.txtSendFrame_Retry)
        txtSendFrame_Retry->setText(settings.txtSendFrame_Retry);
    if (txtSendFrame_TimeOut->text() != settings.txtSendFrame_TimeOut)
        txtSendFrame_TimeOut->setText(settings.txtSendFrame_TimeOut);
    cmdApply->setEnabled(settings.cmdApplyEnabled);
    refreshing = false;
}

void frmAnalyserSettings::closeEvent(QCloseEvent *event)
{
    if (!settings.queryUnload()) {
        event->ignore();
        return;
    }
    event->accept();
    // Not QDialog::closeEvent: it would go through reject() again.
    done(QDialog::Rejected);
}

void frmAnalyserSettings::reject()
{
    // Escape goes the way of the close box, with its question.
    close();
}
