#include "uploader/ui/frmflashor.h"

#include "serial/serialport.h"
#include "uploader/flashorrun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QLineEdit *readOnlyBox(const QString &name, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    return box;
}

} // namespace

frmFlashor::frmFlashor(FlashorRun &run, QWidget *parent)
    : QWidget(parent)
    , run(run)
{
    setObjectName("frmFlashor");
    setWindowTitle(QStringLiteral("Upload new firmware..."));
    buildControls();
    connectRun();
}

void frmFlashor::buildControls()
{
    const RunInput &in = run.input();

    frameInput = new QGroupBox(QStringLiteral("Input Data"), this);
    frameInput->setObjectName("frameInput");
    cmbCOMPort = new QComboBox(frameInput);
    cmbCOMPort->setObjectName("cmbCOMPort");
    const QStringList ports = FlashorRun::portNames();
    for (int i = 0; i < ports.size(); ++i) {
        cmbCOMPort->addItem(ports[i]);
        cmbCOMPort->setItemData(i, portDeviceName(i + 1), Qt::ToolTipRole);
    }
    cmbCOMPort->setCurrentIndex(in.portIndex);
    lblPortDevice = new QLabel(frameInput);
    lblPortDevice->setObjectName("lblPortDevice");
    lblPortDevice->setEnabled(false); // greyed: a hint, not an input
    showPortDevice(in.portIndex);
    chkWait = new QCheckBox(QStringLiteral("Do not wait for begin"), frameInput);
    chkWait->setObjectName("chkWait");
    chkWait->setChecked(in.noWait);
    txtUpload_In = new QLineEdit(in.firmwarePath, frameInput);
    txtUpload_In->setObjectName("txtUpload_In");
    cmdUpload_In = new QPushButton(QStringLiteral("..."), frameInput);
    cmdUpload_In->setObjectName("cmdUpload_In");
    cmdUpload_In->setFixedWidth(cmdUpload_In->fontMetrics().horizontalAdvance("....") + 16);

    auto *inputLayout = new QGridLayout(frameInput);
    inputLayout->addWidget(new QLabel(QStringLiteral("Port :"), frameInput), 0, 0);
    inputLayout->addWidget(cmbCOMPort, 0, 1);
    inputLayout->addWidget(lblPortDevice, 0, 2);
    inputLayout->addWidget(chkWait, 0, 3, 1, 2, Qt::AlignRight);
    inputLayout->addWidget(new QLabel(QStringLiteral("Input Firmware File"), frameInput), 1, 0, 1, 5);
    inputLayout->addWidget(txtUpload_In, 2, 0, 1, 4);
    inputLayout->addWidget(cmdUpload_In, 2, 4);
    inputLayout->setColumnStretch(2, 1);

    frameInit = new QGroupBox(QStringLiteral("Init String"), this);
    frameInit->setObjectName("frameInit");
    txtInit_Out = new QLineEdit(in.initString, frameInit);
    txtInit_Out->setObjectName("txtInit_Out");
    cmbInit_Speed = new QComboBox(frameInit);
    cmbInit_Speed->setObjectName("cmbInit_Speed");
    cmbInit_Speed->setEditable(true);
    cmbInit_Speed->addItems(FlashorRun::initSpeeds());
    cmbInit_Speed->setCurrentText(in.initSpeed);
    chkInit = new QCheckBox(QStringLiteral("Enable"), frameInit);
    chkInit->setObjectName("chkInit");
    chkInit->setChecked(in.initEnabled);
    txtInit_In = readOnlyBox("txtInit_In", frameInit);

    auto *initLayout = new QGridLayout(frameInit);
    initLayout->addWidget(new QLabel(QStringLiteral("Out"), frameInit), 0, 0);
    initLayout->addWidget(txtInit_Out, 0, 1);
    initLayout->addWidget(new QLabel(QStringLiteral("Speed"), frameInit), 0, 2);
    initLayout->addWidget(cmbInit_Speed, 0, 3);
    initLayout->addWidget(chkInit, 0, 4);
    initLayout->addWidget(new QLabel(QStringLiteral("Input"), frameInit), 1, 0);
    initLayout->addWidget(txtInit_In, 1, 1, 1, 4);
    initLayout->setColumnStretch(1, 1);

    frameUpload = new QGroupBox(QStringLiteral("Upload status"), this);
    frameUpload->setObjectName("frameUpload");
    txtBlock = readOnlyBox("txtBlock", frameUpload);
    txtSet_Serial = readOnlyBox("txtSet_Serial", frameUpload);
    txtSet_Signature = readOnlyBox("txtSet_Signature", frameUpload);
    txtStatus = readOnlyBox("txtStatus", frameUpload);
    pbUpload = new QProgressBar(frameUpload);
    pbUpload->setObjectName("pbUpload");
    pbUpload->setRange(0, 100);
    pbUpload->setValue(0);

    auto *uploadLayout = new QGridLayout(frameUpload);
    uploadLayout->addWidget(new QLabel(QStringLiteral("Block size:"), frameUpload), 0, 0);
    uploadLayout->addWidget(txtBlock, 0, 1);
    uploadLayout->addWidget(new QLabel(QStringLiteral("Serial Number:"), frameUpload), 0, 2);
    uploadLayout->addWidget(txtSet_Serial, 0, 3);
    uploadLayout->addWidget(new QLabel(QStringLiteral("Device Signature:"), frameUpload), 1, 0);
    uploadLayout->addWidget(txtSet_Signature, 1, 1, 1, 3);
    uploadLayout->addWidget(new QLabel(QStringLiteral("Status"), frameUpload), 2, 0);
    uploadLayout->addWidget(txtStatus, 2, 1, 1, 3);
    uploadLayout->addWidget(pbUpload, 3, 0, 1, 4);
    uploadLayout->setColumnStretch(3, 1);

    cmdRun = new QPushButton(QStringLiteral("Run"), this);
    cmdRun->setObjectName("cmdRun");
    cmdRun->setDefault(true);
    cmdExit = new QPushButton(QStringLiteral("Exit"), this);
    cmdExit->setObjectName("cmdExit");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdRun);
    buttons->addWidget(cmdExit);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frameInput);
    layout->addWidget(frameInit);
    layout->addWidget(frameUpload);
    layout->addLayout(buttons);
    setMinimumWidth(480);
}

void frmFlashor::connectRun()
{
    // The user's edits go into the run flow's input ...
    connect(cmbCOMPort, &QComboBox::currentIndexChanged, this, [this](int index) {
        run.input().portIndex = index;
        showPortDevice(index);
    });
    connect(txtUpload_In, &QLineEdit::textChanged, this, [this](const QString &t) { run.input().firmwarePath = t; });
    connect(chkWait, &QCheckBox::toggled, this, [this](bool on) { run.input().noWait = on; });
    connect(txtInit_Out, &QLineEdit::textChanged, this, [this](const QString &t) { run.input().initString = t; });
    connect(cmbInit_Speed, &QComboBox::currentTextChanged, this,
            [this](const QString &t) { run.input().initSpeed = t; });
    connect(chkInit, &QCheckBox::toggled, this, [this](bool on) { run.input().initEnabled = on; });
    connect(cmdUpload_In, &QPushButton::clicked, &run, &FlashorRun::cmdUpload_In_Click);
    connect(cmdRun, &QPushButton::clicked, &run, &FlashorRun::cmdRun_Click);
    connect(cmdExit, &QPushButton::clicked, this, &QWidget::close);

    // ... and what the flow changes shows here.
    connect(&run, &FlashorRun::firmwarePathChanged, this, [this](const QString &path) {
        const QSignalBlocker block(txtUpload_In);
        txtUpload_In->setText(path);
    });
    connect(&run, &FlashorRun::portIndexChanged, this, [this](int index) {
        const QSignalBlocker block(cmbCOMPort);
        cmbCOMPort->setCurrentIndex(index);
        showPortDevice(index);
    });
    connect(&run, &FlashorRun::statusChanged, txtStatus, &QLineEdit::setText);
    connect(&run, &FlashorRun::initInputChanged, txtInit_In, &QLineEdit::setText);
    connect(&run, &FlashorRun::runningChanged, this, [this](bool running) {
        cmdRun->setText(running ? QStringLiteral("Stop") : QStringLiteral("Run"));
        frameInput->setEnabled(!running);
    });

    BootProtocol &boot = run.protocol();
    connect(&boot, &BootProtocol::deviceInfo, this,
            [this](int blockSize, const QString &serial, const QString &signature) {
                txtBlock->setText(QString::number(blockSize));
                txtSet_Serial->setText(serial);
                txtSet_Signature->setText(signature);
            });
    connect(&boot, &BootProtocol::progressMaximumChanged, pbUpload, [this](int maximum) {
        pbUpload->setRange(0, maximum);
        pbUpload->setValue(0);
    });
    connect(&boot, &BootProtocol::progressChanged, pbUpload, &QProgressBar::setValue);
}

void frmFlashor::showPortDevice(int index)
{
    const QString device = portDeviceName(index + 1);
    cmbCOMPort->setToolTip(device);
    lblPortDevice->setText(device);
}
