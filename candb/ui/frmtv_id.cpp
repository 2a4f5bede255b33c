#include "candb/ui/frmtv_id.h"

#include "widgets/dialogparts.h"
#include "views/qcolour.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int lastBit = 63;

const QString bigEndianTip =
    QStringLiteral("For a big-endian field Begin is the start (most significant) bit in DBC numbering, "
                   "and the length is End-Begin+1.");

QScrollBar *bitBar(QWidget *parent, const char *name)
{
    auto *bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(QLatin1String(name));
    bar->setRange(0, lastBit);
    bar->setPageStep(8);
    return bar;
}

} // namespace

frmTV_ID::frmTV_ID(AppContext &context, CanDbModel &model, QWidget *parent) : QDialog(parent), logic(context, model)
{
    setObjectName(QStringLiteral("frmTV_ID"));

    frmCAN_ID = new QGroupBox(QStringLiteral("CAN ID"), this);
    frmCAN_ID->setObjectName(QStringLiteral("frmCAN_ID"));
    optCANType[0] = new QRadioButton(QStringLiteral("CAN 2.0 A"), frmCAN_ID);
    optCANType[1] = new QRadioButton(QStringLiteral("CAN 2.0 B"), frmCAN_ID);
    optCANType[0]->setObjectName(QStringLiteral("optCANType0"));
    optCANType[1]->setObjectName(QStringLiteral("optCANType1"));
    txtIDStd = dialogparts::lineEdit(frmCAN_ID, "txtIDStd");
    txtIDStd->setMaxLength(3);
    txtIDExt = dialogparts::lineEdit(frmCAN_ID, "txtIDExt");
    txtIDExt->setMaxLength(5);
    PictureID = new QLabel(frmCAN_ID);
    PictureID->setObjectName(QStringLiteral("PictureID"));
    PictureID->setFixedSize(20, 20);
    PictureID->setFrameStyle(QFrame::Box | QFrame::Plain);
    PictureID->setAutoFillBackground(true);
    auto *idGrid = new QGridLayout(frmCAN_ID);
    idGrid->addWidget(optCANType[0], 0, 0);
    idGrid->addWidget(optCANType[1], 0, 1, 1, 3);
    idGrid->addWidget(new QLabel(QStringLiteral("ID (in hex) :"), frmCAN_ID), 1, 0);
    idGrid->addWidget(txtIDStd, 1, 1);
    idGrid->addWidget(txtIDExt, 1, 2);
    idGrid->addWidget(PictureID, 1, 3);

    txtName = dialogparts::lineEdit(this, "txtName");
    cmbDevDevice = dialogparts::comboBox(this, "cmbDevDevice");
    chkEnable = new QCheckBox(QStringLiteral("Enable for monitoring"), this);
    chkEnable->setObjectName(QStringLiteral("chkEnable"));
    auto *nameGrid = new QGridLayout;
    nameGrid->addWidget(new QLabel(QStringLiteral("Description :"), this), 0, 0);
    nameGrid->addWidget(txtName, 0, 1);
    nameGrid->addWidget(new QLabel(QStringLiteral("Device :"), this), 1, 0);
    nameGrid->addWidget(cmbDevDevice, 1, 1);
    nameGrid->addWidget(chkEnable, 2, 0, 1, 2);

    frData = new QGroupBox(QStringLiteral("Data"), this);
    frData->setObjectName(QStringLiteral("frData"));
    lvListViewData = new QTreeWidget(frData);
    lvListViewData->setObjectName(QStringLiteral("lvListViewData"));
    lvListViewData->setRootIsDecorated(false);
    lvListViewData->setHeaderLabels({QStringLiteral("Bits"), QStringLiteral("Description")});
    lvListViewData->header()->setStretchLastSection(true);
    lvListViewData->setMinimumHeight(110);
    txtDataBegin = dialogparts::lineEdit(frData, "txtDataBegin");
    txtDataEnd = dialogparts::lineEdit(frData, "txtDataEnd");
    txtDataBegin->setMaxLength(2);
    txtDataEnd->setMaxLength(2);
    FlatScrollBarBegin = bitBar(frData, "FlatScrollBarBegin");
    FlatScrollBarEnd = bitBar(frData, "FlatScrollBarEnd");
    txtDataName = dialogparts::lineEdit(frData, "txtDataName");
    cmdDataAdd = dialogparts::button(frData, "cmdDataAdd", QStringLiteral("Add"));
    cmdDataChange = dialogparts::button(frData, "cmdDataChange", QStringLiteral("Apply"));
    auto *dataGrid = new QGridLayout(frData);
    dataGrid->addWidget(lvListViewData, 0, 0, 1, 5);
    dataGrid->addWidget(new QLabel(QStringLiteral("Bits :"), frData), 1, 0);
    dataGrid->addWidget(txtDataBegin, 1, 1);
    dataGrid->addWidget(new QLabel(QStringLiteral(".."), frData), 1, 2);
    dataGrid->addWidget(txtDataEnd, 1, 3);
    dataGrid->addWidget(FlatScrollBarBegin, 2, 1);
    dataGrid->addWidget(FlatScrollBarEnd, 2, 3);
    dataGrid->addWidget(new QLabel(QStringLiteral("Description :"), frData), 3, 0);
    dataGrid->addWidget(txtDataName, 3, 1, 1, 3);
    dataGrid->addWidget(cmdDataAdd, 1, 4);
    dataGrid->addWidget(cmdDataChange, 3, 4);

    txtDataBegin->setToolTip(bigEndianTip);
    txtDataEnd->setToolTip(bigEndianTip);
    buildSignalBoxes();

    // The identifier's and the field's further properties stand to the right.
    auto *left = new QVBoxLayout;
    left->addWidget(frmCAN_ID);
    left->addLayout(nameGrid);
    left->addWidget(frData);
    auto *right = new QVBoxLayout;
    right->addWidget(frDetails);
    right->addWidget(frSignal, 1);
    auto *columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(dialogparts::editButtons(this));

    connect(optCANType[0], &QRadioButton::clicked, this, [this] {
        logic.optCANType_Click(false);
        refresh();
    });
    connect(optCANType[1], &QRadioButton::clicked, this, [this] {
        logic.optCANType_Click(true);
        refresh();
    });
    connect(txtIDStd, &QLineEdit::textEdited, this, [this](const QString &text) { logic.txtIDStd_Change(text); });
    connect(txtIDExt, &QLineEdit::textEdited, this, [this](const QString &text) { logic.txtIDExt_Change(text); });
    connect(txtIDStd, &QLineEdit::editingFinished, this, [this] { validate(txtIDStd, &IdEditor::txtIDStd_Validate); });
    connect(txtIDExt, &QLineEdit::editingFinished, this, [this] { validate(txtIDExt, &IdEditor::txtIDExt_Validate); });
    connect(txtName, &QLineEdit::textEdited, this, [this](const QString &text) {
        logic.txtName_Change(text);
        refresh();
    });
    connect(cmbDevDevice, &QComboBox::activated, this, [this](int index) {
        logic.cmbDevDevice_Click(index);
        refresh();
    });
    connect(chkEnable, &QCheckBox::clicked, this, [this](bool ticked) {
        logic.chkEnable_Click(ticked);
        refresh();
    });

    connect(lvListViewData, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        logic.lvListViewData_Click(lvListViewData->indexOfTopLevelItem(item));
        refresh();
    });
    for (QLineEdit *box : {txtDataBegin, txtDataEnd, txtDataName})
        connect(box, &QLineEdit::textEdited, this, [this] { dataEdited(); });
    // The bars run from bit 63 (left) to bit 0, and the two bits never cross.
    connect(FlatScrollBarBegin, &QScrollBar::valueChanged, this, [this](int value) {
        if (syncing)
            return;
        txtDataBegin->setText(QString::number(lastBit - value));
        FlatScrollBarEnd->setMaximum(value);
        dataEdited();
    });
    connect(FlatScrollBarEnd, &QScrollBar::valueChanged, this, [this](int value) {
        if (syncing)
            return;
        txtDataEnd->setText(QString::number(lastBit - value));
        FlatScrollBarBegin->setMinimum(value);
        dataEdited();
    });
    connect(cmdDataAdd, &QPushButton::clicked, this, [this] {
        logic.cmdDataAdd_Click();
        fillData();
        refresh();
    });
    connect(cmdDataChange, &QPushButton::clicked, this, [this] {
        logic.cmdDataChange_Click();
        fillData();
        refresh();
    });

    dialogparts::connectEditButtons(this, [this] { refresh(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] {
        logic.cmdCancel_Click();
        reject();
    });
}

void frmTV_ID::buildSignalBoxes()
{
    frDetails = new QGroupBox(QStringLiteral("ID properties"), this);
    frDetails->setObjectName(QStringLiteral("frDetails"));
    txtCycleTime = dialogparts::lineEdit(frDetails, "txtCycleTime");
    txtCycleTime->setPlaceholderText(QStringLiteral("none"));
    txtCycleTime->setToolTip(QStringLiteral("The expected time between two frames, 0 to 3600000 ms; empty: none."));
    txtComment = dialogparts::lineEdit(frDetails, "txtComment");
    auto *detailsGrid = new QGridLayout(frDetails);
    detailsGrid->addWidget(new QLabel(QStringLiteral("Cycle time :"), frDetails), 0, 0);
    detailsGrid->addWidget(txtCycleTime, 0, 1);
    detailsGrid->addWidget(new QLabel(QStringLiteral("ms"), frDetails), 0, 2);
    detailsGrid->addWidget(new QLabel(QStringLiteral("Comment :"), frDetails), 1, 0);
    detailsGrid->addWidget(txtComment, 1, 1, 1, 2);
    connect(txtCycleTime, &QLineEdit::textEdited, this, [this](const QString &text) {
        logic.txtCycleTime_Change(text);
        refresh();
    });
    connect(txtComment, &QLineEdit::textEdited, this, [this](const QString &text) {
        logic.txtComment_Change(text);
        refresh();
    });

    frSignal = new QGroupBox(QStringLiteral("Signal of the data field"), this);
    frSignal->setObjectName(QStringLiteral("frSignal"));
    cmbDataOrder = dialogparts::comboBox(frSignal, "cmbDataOrder");
    cmbDataOrder->addItems({QStringLiteral("little-endian"), QStringLiteral("big-endian")});
    cmbDataOrder->setToolTip(bigEndianTip);
    cmbDataType = dialogparts::comboBox(frSignal, "cmbDataType");
    cmbDataType->addItems(
        {QStringLiteral("unsigned"), QStringLiteral("signed"), QStringLiteral("float 32"), QStringLiteral("float 64")});
    txtDataFactor = dialogparts::lineEdit(frSignal, "txtDataFactor");
    txtDataOffset = dialogparts::lineEdit(frSignal, "txtDataOffset");
    txtDataMinimum = dialogparts::lineEdit(frSignal, "txtDataMinimum");
    txtDataMaximum = dialogparts::lineEdit(frSignal, "txtDataMaximum");
    txtDataFactor->setToolTip(QStringLiteral("Value = raw * Factor + Offset"));
    txtDataOffset->setToolTip(txtDataFactor->toolTip());
    txtDataUnit = dialogparts::lineEdit(frSignal, "txtDataUnit");
    txtDataComment = dialogparts::lineEdit(frSignal, "txtDataComment");
    cmbDataMultiplex = dialogparts::comboBox(frSignal, "cmbDataMultiplex");
    cmbDataMultiplex->addItems(
        {QStringLiteral("none"), QStringLiteral("multiplexor"), QStringLiteral("present when multiplexor =")});
    txtDataMultiplexValue = dialogparts::lineEdit(frSignal, "txtDataMultiplexValue");
    txtDataValueTexts = new QPlainTextEdit(frSignal);
    txtDataValueTexts->setObjectName(QStringLiteral("txtDataValueTexts"));
    txtDataValueTexts->setPlaceholderText(QStringLiteral("0 Off\n1 On"));
    txtDataValueTexts->setToolTip(QStringLiteral("One raw value and its text a line, such as: 1 On"));
    txtDataValueTexts->setTabChangesFocus(true);
    // It takes the height the left column leaves, so that column keeps its layout.
    txtDataValueTexts->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    txtDataValueTexts->setMinimumHeight(3 * txtDataValueTexts->fontMetrics().lineSpacing());
    auto *signalGrid = new QGridLayout(frSignal);
    const auto label = [this](const QString &text) { return new QLabel(text, frSignal); };
    signalGrid->addWidget(label(QStringLiteral("Byte order :")), 0, 0);
    signalGrid->addWidget(cmbDataOrder, 0, 1);
    signalGrid->addWidget(label(QStringLiteral("Value type :")), 0, 2);
    signalGrid->addWidget(cmbDataType, 0, 3);
    signalGrid->addWidget(label(QStringLiteral("Factor :")), 1, 0);
    signalGrid->addWidget(txtDataFactor, 1, 1);
    signalGrid->addWidget(label(QStringLiteral("Offset :")), 1, 2);
    signalGrid->addWidget(txtDataOffset, 1, 3);
    signalGrid->addWidget(label(QStringLiteral("Minimum :")), 2, 0);
    signalGrid->addWidget(txtDataMinimum, 2, 1);
    signalGrid->addWidget(label(QStringLiteral("Maximum :")), 2, 2);
    signalGrid->addWidget(txtDataMaximum, 2, 3);
    signalGrid->addWidget(label(QStringLiteral("Unit :")), 3, 0);
    signalGrid->addWidget(txtDataUnit, 3, 1);
    signalGrid->addWidget(label(QStringLiteral("Comment :")), 4, 0);
    signalGrid->addWidget(txtDataComment, 4, 1, 1, 3);
    QLabel *widest = label(QStringLiteral("Multiplexing :"));
    signalGrid->addWidget(widest, 5, 0);
    signalGrid->addWidget(cmbDataMultiplex, 5, 1, 1, 2);
    signalGrid->addWidget(txtDataMultiplexValue, 5, 3);
    signalGrid->addWidget(label(QStringLiteral("Value texts :")), 6, 0, Qt::AlignTop);
    signalGrid->addWidget(txtDataValueTexts, 6, 1, 1, 3);
    signalGrid->setRowStretch(6, 1);
    detailsGrid->setColumnMinimumWidth(0, widest->sizeHint().width());

    for (QComboBox *combo : {cmbDataOrder, cmbDataType, cmbDataMultiplex})
        connect(combo, &QComboBox::activated, this, [this] { signalEdited(); });
    for (QLineEdit *box : {txtDataFactor, txtDataOffset, txtDataMinimum, txtDataMaximum, txtDataUnit, txtDataComment,
                           txtDataMultiplexValue})
        connect(box, &QLineEdit::textEdited, this, [this] { signalEdited(); });
    connect(txtDataValueTexts, &QPlainTextEdit::textChanged, this, [this] { signalEdited(); });
}

bool frmTV_ID::addID(const QString &key)
{
    return showModal(IdEditor::Mode::Add, key);
}

bool frmTV_ID::editID(const QString &key)
{
    return showModal(IdEditor::Mode::Edit, key);
}

bool frmTV_ID::newID(const QString &key)
{
    return showModal(IdEditor::Mode::New, key);
}

bool frmTV_ID::prepare(IdEditor::Mode mode, const QString &key)
{
    const bool opened = mode == IdEditor::Mode::Add    ? logic.openAdd(key)
                        : mode == IdEditor::Mode::Edit ? logic.openEdit(key)
                                                       : logic.openNew(key);
    if (!opened)
        return false;
    dialogparts::fillCombo(cmbDevDevice, logic.cmbDevDevice);
    fillData();
    refresh();
    return true;
}

bool frmTV_ID::showModal(IdEditor::Mode mode, const QString &key)
{
    if (!prepare(mode, key))
        return false;
    exec();
    return logic.result;
}

void frmTV_ID::validate(QLineEdit *box, bool (IdEditor::*check)())
{
    // The message box takes the focus, which would finish the edit again.
    if (validating || syncing || !box->isEnabled())
        return;
    validating = true;
    const bool passed = (logic.*check)();
    refresh();
    if (!passed)
        QTimer::singleShot(0, box, [box] {
            box->setFocus();
            box->selectAll();
        });
    validating = false;
}

void frmTV_ID::dataEdited()
{
    if (syncing)
        return;
    logic.txtData_Change(txtDataBegin->text(), txtDataEnd->text(), txtDataName->text());
    refresh();
}

void frmTV_ID::signalEdited()
{
    if (syncing)
        return;
    SignalBoxes boxes;
    boxes.cmbDataOrder = cmbDataOrder->currentIndex();
    boxes.cmbDataType = cmbDataType->currentIndex();
    boxes.txtDataFactor = txtDataFactor->text();
    boxes.txtDataOffset = txtDataOffset->text();
    boxes.txtDataMinimum = txtDataMinimum->text();
    boxes.txtDataMaximum = txtDataMaximum->text();
    boxes.txtDataUnit = txtDataUnit->text();
    boxes.txtDataComment = txtDataComment->text();
    boxes.cmbDataMultiplex = cmbDataMultiplex->currentIndex();
    boxes.txtDataMultiplexValue = txtDataMultiplexValue->text();
    boxes.txtDataValueTexts = txtDataValueTexts->toPlainText();
    logic.signalBoxes_Change(boxes);
    refresh();
}

void frmTV_ID::fillData()
{
    const QSignalBlocker block(lvListViewData);
    lvListViewData->clear();
    for (const DataField &field : std::as_const(logic.lvListViewData))
        new QTreeWidgetItem(lvListViewData, {field.text(), field.name});
}

void frmTV_ID::refresh()
{
    syncing = true;
    setWindowTitle(logic.caption);
    frmCAN_ID->setEnabled(logic.frmCAN_IDEnabled);
    optCANType[logic.extended ? 1 : 0]->setChecked(true);
    txtIDStd->setText(logic.txtIDStd);
    txtIDExt->setText(logic.txtIDExt);
    txtIDExt->setEnabled(logic.extended);
    QPalette swatch = PictureID->palette();
    swatch.setColor(QPalette::Window, toQColor(logic.pictureColour));
    PictureID->setPalette(swatch);
    if (txtName->text() != logic.txtName)
        txtName->setText(logic.txtName);
    cmbDevDevice->setCurrentIndex(logic.cmbDevDevice.selected);
    chkEnable->setChecked(logic.chkEnable);
    if (txtCycleTime->text() != logic.txtCycleTime)
        txtCycleTime->setText(logic.txtCycleTime);
    if (txtComment->text() != logic.txtComment)
        txtComment->setText(logic.txtComment);

    if (lvListViewData->currentItem() != lvListViewData->topLevelItem(logic.selectedData))
        lvListViewData->setCurrentItem(lvListViewData->topLevelItem(logic.selectedData));
    if (txtDataBegin->text() != logic.txtDataBegin)
        txtDataBegin->setText(logic.txtDataBegin);
    if (txtDataEnd->text() != logic.txtDataEnd)
        txtDataEnd->setText(logic.txtDataEnd);
    if (txtDataName->text() != logic.txtDataName)
        txtDataName->setText(logic.txtDataName);
    const int begin = qBound(0, logic.txtDataBegin.toInt(), lastBit);
    const int end = qBound(begin, logic.txtDataEnd.toInt(), lastBit);
    FlatScrollBarBegin->setRange(lastBit - end, lastBit);
    FlatScrollBarEnd->setRange(0, lastBit - begin);
    FlatScrollBarBegin->setValue(lastBit - begin);
    FlatScrollBarEnd->setValue(lastBit - end);
    const SignalBoxes &boxes = logic.signalBoxes;
    cmbDataOrder->setCurrentIndex(boxes.cmbDataOrder);
    cmbDataType->setCurrentIndex(boxes.cmbDataType);
    const std::pair<QLineEdit *, const QString *> texts[] = {{txtDataFactor, &boxes.txtDataFactor},
                                                             {txtDataOffset, &boxes.txtDataOffset},
                                                             {txtDataMinimum, &boxes.txtDataMinimum},
                                                             {txtDataMaximum, &boxes.txtDataMaximum},
                                                             {txtDataUnit, &boxes.txtDataUnit},
                                                             {txtDataComment, &boxes.txtDataComment},
                                                             {txtDataMultiplexValue, &boxes.txtDataMultiplexValue}};
    for (const auto &[box, text] : texts)
        if (box->text() != *text)
            box->setText(*text);
    cmbDataMultiplex->setCurrentIndex(boxes.cmbDataMultiplex);
    txtDataMultiplexValue->setEnabled(boxes.multiplexValueUsed());
    if (txtDataValueTexts->toPlainText() != boxes.txtDataValueTexts)
        txtDataValueTexts->setPlainText(boxes.txtDataValueTexts);
    cmdDataChange->setText(logic.cmdDataChangeCaption);
    cmdDataChange->setEnabled(logic.cmdDataChangeEnabled);

    cmdOk->setText(logic.cmdOkCaption);
    cmdApply->setVisible(logic.cmdApplyVisible);
    cmdApply->setEnabled(logic.cmdApplyEnabled);
    cmdDelete->setVisible(logic.cmdDeleteVisible);
    syncing = false;
}

void frmTV_ID::done(int result)
{
    if (!logic.queryUnload()) {
        refresh();
        return;
    }
    QDialog::done(result);
}
