#pragma once

#include "candb/ideditor.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTreeWidget;

// "Addition / Property / New CAN Data Base ID": the window of IdEditor.
class frmTV_ID final : public QDialog
{
    Q_OBJECT
  public:
    frmTV_ID(AppContext &context, CanDbModel &model, QWidget *parent = nullptr);

    // Each opens the window modally in its mode; true when the identifier was saved.
    bool addID(const QString &key);
    bool editID(const QString &key);
    bool newID(const QString &key);
    // Fills the window for a mode without showing it; false when there is
    // nothing to show (the editor is closed).
    bool prepare(IdEditor::Mode mode, const QString &key);

    IdEditor logic;

    QGroupBox *frmCAN_ID = nullptr;
    QRadioButton *optCANType[2] = {};
    QLineEdit *txtIDStd = nullptr;
    QLineEdit *txtIDExt = nullptr;
    QLabel *PictureID = nullptr;
    QLineEdit *txtName = nullptr;
    QComboBox *cmbDevDevice = nullptr;
    QCheckBox *chkEnable = nullptr;
    QGroupBox *frDetails = nullptr;
    QLineEdit *txtCycleTime = nullptr;
    QLineEdit *txtComment = nullptr;
    QGroupBox *frData = nullptr;
    QTreeWidget *lvListViewData = nullptr;
    QLineEdit *txtDataBegin = nullptr;
    QLineEdit *txtDataEnd = nullptr;
    QScrollBar *FlatScrollBarBegin = nullptr;
    QScrollBar *FlatScrollBarEnd = nullptr;
    QLineEdit *txtDataName = nullptr;
    QPushButton *cmdDataAdd = nullptr;
    QPushButton *cmdDataChange = nullptr;
    // The signal properties of the field being edited, beside the "Data" group.
    QGroupBox *frSignal = nullptr;
    QComboBox *cmbDataOrder = nullptr;
    QComboBox *cmbDataType = nullptr;
    QLineEdit *txtDataFactor = nullptr;
    QLineEdit *txtDataOffset = nullptr;
    QLineEdit *txtDataMinimum = nullptr;
    QLineEdit *txtDataMaximum = nullptr;
    QLineEdit *txtDataUnit = nullptr;
    QLineEdit *txtDataComment = nullptr;
    QComboBox *cmbDataMultiplex = nullptr;
    QLineEdit *txtDataMultiplexValue = nullptr;
    QPlainTextEdit *txtDataValueTexts = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdApply = nullptr;
    QPushButton *cmdDelete = nullptr;
    QPushButton *cmdCancel = nullptr;

    void done(int result) override;

  private:
    bool showModal(IdEditor::Mode mode, const QString &key);
    void refresh();
    void fillData();
    void dataEdited();
    void signalEdited();
    void buildSignalBoxes();
    void validate(QLineEdit *box, bool (IdEditor::*check)());
    bool syncing = false;
    bool validating = false;
};
