#include "link/ui/frmcapture.h"

#include "link/capturecontrol.h"
#include "link/packetlink.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLineEdit *counter(QWidget *parent, const char *name)
{
    auto *box = new QLineEdit(QStringLiteral("0"), parent);
    box->setObjectName(QLatin1String(name));
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignRight);
    return box;
}

} // namespace

frmCapture::frmCapture(PacketLink &link, QWidget *parent)
    : QDialog(parent)
    , link(link)
    , logic(new CaptureControl(link, this, this))
{
    setObjectName(QStringLiteral("frmCapture"));
    setWindowTitle(QStringLiteral("CAN Capture"));
    setModal(false);

    txtSpeed = counter(this, "txtSpeed");
    txtTimer = counter(this, "txtTimer");
    txtCaptured = counter(this, "txtCaptured");
    txtLost = counter(this, "txtLost");
    txtView_Lost = counter(this, "txtView_Lost");
    txtView_Skip = counter(this, "txtView_Skip");
    txtView_View = counter(this, "txtView_View");
    txtBusLoad = counter(this, "txtBusLoad");
    txtFramesPerSecond = counter(this, "txtFramesPerSecond");
    txtFramesLost = counter(this, "txtFramesLost");
    txtLinkDropped = counter(this, "txtLinkDropped");

    pbProgressBarRX = new QProgressBar(this);
    pbProgressBarRX->setObjectName(QStringLiteral("pbProgressBarRX"));
    pbProgressBarRX->setRange(0, 1);
    pbProgressBarRX->setValue(0);
    pbProgressBarRX->setTextVisible(false);
    pbProgressBarBuffer = new QProgressBar(this);
    pbProgressBarBuffer->setObjectName(QStringLiteral("pbProgressBarBuffer"));
    pbProgressBarBuffer->setRange(0, CaptureControl::queueLimit / 2);
    pbProgressBarBuffer->setValue(0);
    pbProgressBarBuffer->setTextVisible(false);

    cmdStart = new QPushButton(QStringLiteral("Start"), this);
    cmdStart->setObjectName(QStringLiteral("cmdStart"));
    cmdHide = new QPushButton(QStringLiteral("Hide"), this);
    cmdHide->setObjectName(QStringLiteral("cmdHide"));
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdStart->setDefault(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("CAN speed, bps"), txtSpeed);
    form->addRow(QStringLiteral("Timer, Hz"), txtTimer);
    form->addRow(QStringLiteral("Captured"), txtCaptured);
    form->addRow(QStringLiteral("Lost by analyser"), txtLost);
    form->addRow(QStringLiteral("Lost (queue full)"), txtView_Lost);
    form->addRow(QStringLiteral("Skipped"), txtView_Skip);
    form->addRow(QStringLiteral("Viewed"), txtView_View);
    form->addRow(QStringLiteral("Analyser buffer"), pbProgressBarRX);
    form->addRow(QStringLiteral("Queue"), pbProgressBarBuffer);
    form->addRow(QStringLiteral("Bus load, %"), txtBusLoad);
    form->addRow(QStringLiteral("Frames per second"), txtFramesPerSecond);
    form->addRow(QStringLiteral("Frames lost on the bus"), txtFramesLost);
    form->addRow(QStringLiteral("Packets dropped (checksum / header)"), txtLinkDropped);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdStart);
    buttons->addWidget(cmdHide);
    buttons->addWidget(cmdClose);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(cmdStart, &QPushButton::clicked, this, &frmCapture::cmdStart_Click);
    connect(cmdHide, &QPushButton::clicked, this, &frmCapture::cmdHide_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmCapture::cmdClose_Click);
    connect(logic, &CaptureControl::changed, this, &frmCapture::scheduleRefresh);
    // Closing the link's windows (another data base, new analyser settings)
    // closes this one only while it is shown.
    link.setCloseCommand(owner::capture, [this] {
        if (isVisible())
            cmdClose_Click();
    });
    refresh();
}

frmCapture::~frmCapture()
{
    link.setCloseCommand(owner::capture, {});
}

void frmCapture::setSink(CaptureSink *sink)
{
    logic->setSink(sink);
}

void frmCapture::setSpeedTimer(const QString &speed, const QString &timer)
{
    txtSpeed->setText(speed);
    txtTimer->setText(timer);
}

void frmCapture::cmdStart_Click()
{
    logic->cmdStart_Click();
    refresh();
}

void frmCapture::cmdHide_Click()
{
    hide();
}

void frmCapture::cmdClose_Click()
{
    hide();
    logic->closeCapture();
    refresh();
}

void frmCapture::closeEvent(QCloseEvent *event)
{
    event->ignore();
    cmdClose_Click();
}

void frmCapture::reject()
{
    // Escape hides, like the Hide button; capture goes on.
    cmdHide_Click();
}

void frmCapture::scheduleRefresh()
{
    // Counters change with every packet; the controls follow once per pass
    // of the event loop.
    if (refreshQueued)
        return;
    refreshQueued = true;
    QTimer::singleShot(0, this, &frmCapture::refresh);
}

void frmCapture::refresh()
{
    refreshQueued = false;
    const CaptureControl &c = *logic;
    txtCaptured->setText(QString::number(c.txtCaptured()));
    txtLost->setText(QString::number(c.txtLost()));
    txtView_Lost->setText(QString::number(c.txtView_Lost()));
    txtView_Skip->setText(QString::number(c.txtView_Skip()));
    txtView_View->setText(QString::number(c.txtView_View()));
    pbProgressBarRX->setMaximum(qMax(1, c.rxMaximum()));
    pbProgressBarRX->setValue(qMin(c.rxLevel(), pbProgressBarRX->maximum()));
    pbProgressBarBuffer->setValue(qMin(c.bufferLevel(), pbProgressBarBuffer->maximum()));
    cmdStart->setText(c.startCaption());
    cmdStart->setEnabled(c.startEnabled());
    const BusStatistics &bus = c.busStatistics();
    txtBusLoad->setText(QString::number(bus.loadPercent(), 'f', 1));
    txtFramesPerSecond->setText(QString::number(bus.framesPerSecond(), 'f', 0));
    txtFramesLost->setText(QString::number(bus.lostFrames()));
    txtLinkDropped->setText(QStringLiteral("%1 / %2").arg(link.droppedBadChecksum()).arg(link.droppedBadHeader()));
}
