#include "sender/ui/frmsendframe.h"

#include "widgets/dialogparts.h"
#include "core/values.h"
#include "sender/ui/focuschecks.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QFont fixedPitchFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(font).fixedPitch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    return font;
}

void setTextIfChanged(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

QRadioButton *option(const QString &caption, const QString &name, QWidget *parent)
{
    auto *button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

QCheckBox *checkBox(const QString &caption, const char *name, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

} // namespace

frmSendFrame::frmSendFrame(SendRun &run, QWidget *parent)
    : QDialog(parent)
    , run(run)
{
    setObjectName(QStringLiteral("frmSendFrame"));
    setWindowTitle(QStringLiteral("Send Frame to CAN..."));
    setModal(false);
    checks = new FocusChecks(this);
    checks->setEnterHandler([this](QLineEdit *box) { onEnter(box); });
    createControls();
    connect(&run, &SendRun::changed, this, &frmSendFrame::refresh);
    refresh();
}

frmSendFrame::~frmSendFrame() = default;

QLineEdit *frmSendFrame::addBox(QWidget *parent, const QString &name, int maxLength, bool fixedPitch)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    if (maxLength > 0)
        box->setMaxLength(maxLength);
    if (fixedPitch)
        box->setFont(fixedPitchFont());
    return box;
}

void frmSendFrame::createControls()
{
    // ---- CAN ID ----
    frmCAN_ID = new QGroupBox(QStringLiteral("CAN ID"), this);
    frmCAN_ID->setObjectName(QStringLiteral("frmCAN_ID"));
    optCANType[0] = option(QStringLiteral("CAN 2.0 A"), QStringLiteral("optCANType0"), frmCAN_ID);
    optCANType[1] = option(QStringLiteral("CAN 2.0 B"), QStringLiteral("optCANType1"), frmCAN_ID);
    auto *canTypes = new QButtonGroup(frmCAN_ID);
    txtIDStd = addBox(frmCAN_ID, QStringLiteral("txtIDStd"), 3, true);
    txtIDExt = addBox(frmCAN_ID, QStringLiteral("txtIDExt"), 5, true);
    const int charWidth = QFontMetrics(fixedPitchFont()).horizontalAdvance(QLatin1Char('W'));
    txtIDStd->setFixedWidth(charWidth * 3 + 16);
    txtIDExt->setFixedWidth(charWidth * 5 + 16);
    PictureID = new QFrame(frmCAN_ID);
    PictureID->setObjectName(QStringLiteral("PictureID"));
    PictureID->setFrameStyle(QFrame::Box | QFrame::Plain);
    PictureID->setAutoFillBackground(true);
    PictureID->setFixedSize(txtIDStd->sizeHint().height(), txtIDStd->sizeHint().height());
    {
        auto *layout = new QGridLayout(frmCAN_ID);
        layout->addWidget(optCANType[0], 0, 0, 1, 2);
        layout->addWidget(optCANType[1], 0, 2, 1, 3);
        layout->addWidget(new QLabel(QStringLiteral("ID (in hex) :"), frmCAN_ID), 1, 0);
        layout->addWidget(txtIDStd, 1, 1);
        layout->addWidget(new QLabel(QStringLiteral("."), frmCAN_ID), 1, 2);
        layout->addWidget(txtIDExt, 1, 3);
        layout->addWidget(PictureID, 1, 4);
        layout->setColumnStretch(5, 1);
    }
    for (int i = 0; i < 2; ++i) {
        canTypes->addButton(optCANType[size_t(i)], i);
        connect(optCANType[size_t(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on && !refreshing)
                run.setCANType(i);
        });
    }

    // ---- Data ----
    frmCAN_Data = new QGroupBox(QStringLiteral("Data"), this);
    frmCAN_Data->setObjectName(QStringLiteral("frmCAN_Data"));
    optDataType[0] = option(QStringLiteral("Data"), QStringLiteral("optDataType0"), frmCAN_Data);
    optDataType[1] = option(QStringLiteral("Remote"), QStringLiteral("optDataType1"), frmCAN_Data);
    auto *dataTypes = new QButtonGroup(frmCAN_Data);
    chkRB0 = checkBox(QStringLiteral("RB0"), "chkRB0", frmCAN_Data);
    chkRB1 = checkBox(QStringLiteral("RB1"), "chkRB1", frmCAN_Data);
    cmbDataSize = new QComboBox(frmCAN_Data);
    cmbDataSize->setObjectName(QStringLiteral("cmbDataSize"));
    for (int n = 0; n <= 8; ++n)
        cmbDataSize->addItem(QString::number(n));
    {
        auto *layout = new QGridLayout(frmCAN_Data);
        layout->addWidget(optDataType[0], 0, 0, 1, 2);
        layout->addWidget(optDataType[1], 0, 2, 1, 2);
        layout->addWidget(chkRB0, 1, 0, 1, 2);
        layout->addWidget(chkRB1, 1, 2, 1, 2);
        layout->addWidget(new QLabel(QStringLiteral("Size (in Bytes) :"), frmCAN_Data), 2, 0, 1, 2);
        layout->addWidget(cmbDataSize, 2, 2, 1, 2);
        const char *heads[] = {"DEC", "HEX", "CHR"};
        for (int c = 0; c < 3; ++c) {
            auto *head = new QLabel(QLatin1String(heads[c]), frmCAN_Data);
            head->setAlignment(Qt::AlignCenter);
            layout->addWidget(head, 3, c + 1);
        }
        for (int i = 0; i < SendRun::dataBoxes; ++i) {
            const size_t k = size_t(i);
            layout->addWidget(new QLabel(QStringLiteral("%1:").arg(i), frmCAN_Data), 4 + i, 0, Qt::AlignRight);
            txtDec[k] = addBox(frmCAN_Data, QStringLiteral("txtDec%1").arg(i), 3, true);
            txtHex[k] = addBox(frmCAN_Data, QStringLiteral("txtHex%1").arg(i), 2, true);
            txtChr[k] = addBox(frmCAN_Data, QStringLiteral("txtChr%1").arg(i), 1, true);
            txtDec[k]->setFixedWidth(charWidth * 3 + 16);
            txtHex[k]->setFixedWidth(charWidth * 3 + 16);
            txtChr[k]->setFixedWidth(charWidth * 3 + 16);
            for (QLineEdit *box : {txtDec[k], txtHex[k], txtChr[k]})
                box->setAlignment(Qt::AlignRight);
            layout->addWidget(txtDec[k], 4 + i, 1);
            layout->addWidget(txtHex[k], 4 + i, 2);
            layout->addWidget(txtChr[k], 4 + i, 3);
        }
        layout->setColumnStretch(4, 1);
    }
    for (int i = 0; i < 2; ++i) {
        dataTypes->addButton(optDataType[size_t(i)], i);
        connect(optDataType[size_t(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on && !refreshing)
                run.setDataType(i);
        });
    }
    connect(chkRB0, &QCheckBox::toggled, this, [this](bool on) { run.chkRB0 = on; });
    connect(chkRB1, &QCheckBox::toggled, this, [this](bool on) { run.chkRB1 = on; });
    connect(cmbDataSize, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!refreshing && index != run.cmbDataSize)
            run.setDataSize(index);
    });

    // ---- Count ----
    frmCAN_Count = new QGroupBox(QStringLiteral("Count"), this);
    frmCAN_Count->setObjectName(QStringLiteral("frmCAN_Count"));
    optCount[0] = option(QStringLiteral("Repeat until user break"), QStringLiteral("optCount0"), frmCAN_Count);
    optCount[1] = option(QStringLiteral("Repeat count"), QStringLiteral("optCount1"), frmCAN_Count);
    auto *counts = new QButtonGroup(frmCAN_Count);
    txtCount = addBox(frmCAN_Count, QStringLiteral("txtCount"), 5, false);
    txtTime = addBox(frmCAN_Count, QStringLiteral("txtTime"), 5, false);
    for (QLineEdit *box : {txtCount, txtTime}) {
        box->setFixedWidth(QFontMetrics(box->font()).horizontalAdvance(QStringLiteral("000000")) + 16);
        box->setAlignment(Qt::AlignRight);
    }
    chkWaitAnswer = checkBox(QStringLiteral("Wait answer from CAN Analyser"), "chkWaitAnswer", frmCAN_Count);
    chkCANLoop = checkBox(QStringLiteral("CAN Analyser Loop"), "chkCANLoop", frmCAN_Count);
    {
        auto *layout = new QGridLayout(frmCAN_Count);
        layout->addWidget(optCount[0], 0, 0, 1, 2);
        layout->addWidget(optCount[1], 1, 0);
        layout->addWidget(txtCount, 1, 1);
        layout->addWidget(new QLabel(QStringLiteral("Time slot (in ms)"), frmCAN_Count), 2, 0);
        layout->addWidget(txtTime, 2, 1);
        layout->addWidget(chkWaitAnswer, 3, 0, 1, 2);
        layout->addWidget(chkCANLoop, 4, 0, 1, 2);
        layout->setColumnStretch(2, 1);
    }
    for (int i = 0; i < 2; ++i) {
        counts->addButton(optCount[size_t(i)], i);
        connect(optCount[size_t(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on && !refreshing)
                run.setCountMode(i);
        });
    }
    connect(chkWaitAnswer, &QCheckBox::toggled, this, [this](bool on) { run.chkWaitAnswer = on; });
    connect(chkCANLoop, &QCheckBox::toggled, this, [this](bool on) { run.chkCANLoop = on; });

    // ---- Transmit status ----
    auto *status = new QGroupBox(QStringLiteral("Transmit Status"), this);
    status->setObjectName(QStringLiteral("frmTransmitStatus"));
    txtSendCount = addBox(status, QStringLiteral("txtSendCount"), 0, false);
    txtStatCAN = addBox(status, QStringLiteral("txtStatCAN"), 0, true);
    txtErrCAN = addBox(status, QStringLiteral("txtErrCAN"), 0, true);
    txtErrMOB = addBox(status, QStringLiteral("txtErrMOB"), 0, true);
    for (QLineEdit *box : {txtSendCount, txtStatCAN, txtErrCAN, txtErrMOB}) {
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::ClickFocus);
        box->setAlignment(Qt::AlignRight);
    }
    txtSendCount->setFixedWidth(QFontMetrics(txtSendCount->font()).horizontalAdvance(QStringLiteral("0000000")) + 16);
    for (QLineEdit *box : {txtStatCAN, txtErrCAN, txtErrMOB})
        box->setFixedWidth(charWidth * 3 + 16);
    {
        auto *layout = new QGridLayout(status);
        layout->addWidget(new QLabel(QStringLiteral("Send Count :"), status), 0, 0);
        layout->addWidget(txtSendCount, 0, 1, 1, 2);
        layout->addWidget(new QLabel(QStringLiteral("Status"), status), 1, 0, Qt::AlignHCenter);
        layout->addWidget(new QLabel(QStringLiteral("CAN Error"), status), 1, 1, Qt::AlignHCenter);
        layout->addWidget(new QLabel(QStringLiteral("MOb Error"), status), 1, 2, Qt::AlignHCenter);
        layout->addWidget(txtStatCAN, 2, 0, Qt::AlignHCenter);
        layout->addWidget(txtErrCAN, 2, 1, Qt::AlignHCenter);
        layout->addWidget(txtErrMOB, 2, 2, Qt::AlignHCenter);
        layout->setColumnStretch(3, 1);
    }

    // ---- Buttons ----
    // Not auto-default: Enter belongs to the boxes.
    cmdStart = dialogparts::button(this, "cmdStart", QStringLiteral("Start"));
    cmdHide = dialogparts::button(this, "cmdHide", QStringLiteral("Hide"));
    cmdClose = dialogparts::button(this, "cmdClose", QStringLiteral("Close"));
    connect(cmdStart, &QPushButton::clicked, this, [this] { this->run.cmdStart_Click(); });
    connect(cmdHide, &QPushButton::clicked, this, &QWidget::hide);
    connect(cmdClose, &QPushButton::clicked, this, &frmSendFrame::cmdClose_Click);

    auto *left = new QVBoxLayout;
    left->addWidget(frmCAN_ID);
    left->addWidget(frmCAN_Count);
    left->addWidget(status);
    left->addStretch(1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdStart);
    buttons->addWidget(cmdHide);
    buttons->addWidget(cmdClose);
    buttons->addStretch(1);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addWidget(frmCAN_Data);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // ---- Edits go to the run; checks run when a box loses the focus ----
    const auto bind = [this](QLineEdit *box, QString *field, std::function<bool()> check) {
        connect(box, &QLineEdit::textEdited, this, [field](const QString &text) { *field = text; });
        checks->add(box, std::move(check));
    };
    bind(txtIDStd, &run.txtIDStd, [this] { return run.txtIDStd_Validate(); });
    bind(txtIDExt, &run.txtIDExt, [this] { return run.txtIDExt_Validate(); });
    bind(txtCount, &run.txtCount, [this] { return run.txtCount_Validate(); });
    bind(txtTime, &run.txtTime, [this] { return run.txtTime_Validate(); });
    for (int i = 0; i < SendRun::dataBoxes; ++i) {
        const size_t k = size_t(i);
        bind(txtDec[k], &run.txtDec[k], [this, i] { return run.txtDec_Validate(i); });
        bind(txtHex[k], &run.txtHex[k], [this, i] { return run.txtHex_Validate(i); });
        bind(txtChr[k], &run.txtChr[k], [this, i] { return run.txtChr_Validate(i); });
    }
}

void frmSendFrame::refresh()
{
    refreshing = true;
    optCANType[size_t(run.optCANType)]->setChecked(true);
    optDataType[size_t(run.optDataType)]->setChecked(true);
    optCount[size_t(run.optCount)]->setChecked(true);
    chkRB0->setChecked(run.chkRB0);
    chkRB1->setChecked(run.chkRB1);
    chkWaitAnswer->setChecked(run.chkWaitAnswer);
    chkCANLoop->setChecked(run.chkCANLoop);
    cmbDataSize->setCurrentIndex(run.cmbDataSize);

    setTextIfChanged(txtIDStd, run.txtIDStd);
    setTextIfChanged(txtIDExt, run.txtIDExt);
    txtIDExt->setEnabled(run.txtIDExtEnabled());
    QPalette swatch = PictureID->palette();
    swatch.setColor(QPalette::Window, QColor::fromRgb(rgbFromColour(run.pictureColour)));
    PictureID->setPalette(swatch);

    for (int i = 0; i < SendRun::dataBoxes; ++i) {
        const size_t k = size_t(i);
        setTextIfChanged(txtDec[k], run.txtDec[k]);
        setTextIfChanged(txtHex[k], run.txtHex[k]);
        setTextIfChanged(txtChr[k], run.txtChr[k]);
        for (QLineEdit *box : {txtDec[k], txtHex[k], txtChr[k]})
            box->setEnabled(run.dataBoxEnabled(i));
    }

    setTextIfChanged(txtCount, run.txtCount);
    txtCount->setEnabled(run.txtCountEnabled());
    setTextIfChanged(txtTime, run.txtTime);

    setTextIfChanged(txtSendCount, run.txtSendCount);
    setTextIfChanged(txtStatCAN, run.txtStatCAN);
    setTextIfChanged(txtErrCAN, run.txtErrCAN);
    setTextIfChanged(txtErrMOB, run.txtErrMOB);

    for (QGroupBox *group : {frmCAN_Count, frmCAN_ID, frmCAN_Data})
        group->setEnabled(run.groupsEnabled);
    cmdStart->setText(run.cmdStartCaption);
    cmdStart->setEnabled(run.cmdStartEnabled);
    refreshing = false;
}

void frmSendFrame::cmdClose_Click()
{
    run.cmdClose_Click();
    hide();
    emit closedByUser();
}

void frmSendFrame::closeEvent(QCloseEvent *event)
{
    // The dialog keeps its fields for the next opening: it is only hidden.
    event->ignore();
    cmdClose_Click();
}

void frmSendFrame::reject()
{
    cmdClose_Click();
}

void frmSendFrame::onEnter(QLineEdit *box)
{
    for (int i = 0; i < SendRun::dataBoxes; ++i) {
        const size_t k = size_t(i);
        SendRun::DataRow row;
        std::array<QLineEdit *, SendRun::dataBoxes> *boxes = nullptr;
        if (box == txtDec[k]) {
            row = SendRun::DataRow::Dec;
            boxes = &txtDec;
        } else if (box == txtHex[k]) {
            row = SendRun::DataRow::Hex;
            boxes = &txtHex;
        } else if (box == txtChr[k]) {
            row = SendRun::DataRow::Chr;
            boxes = &txtChr;
        } else {
            continue;
        }
        const int next = run.enterPressed(row, i);
        if (next >= 0) {
            QLineEdit *target = (*boxes)[size_t(next)];
            target->setFocus(Qt::TabFocusReason);
            target->selectAll();
        }
        return;
    }
    // Other boxes: Enter runs their check.
    checks->check(box);
}
