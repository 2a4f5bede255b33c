#include "link/ui/frmconnect.h"

#include "core/appcontext.h"
#include "link/packetlink.h"
#include "core/params.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
// Designed column widths, in twips.
constexpr int designedColumnWidth[2] = {2600, 2200};
} // namespace

frmConnect::frmConnect(AppContext &context, PacketLink &link, QWidget *parent)
    : QDialog(parent)
    , context(context)
    , link(link)
    , test(link, *context.db, *context.params)
{
    setObjectName(QStringLiteral("frmConnect"));
    setModal(true);

    lvListViewParams = new QTreeWidget(this);
    lvListViewParams->setObjectName(QStringLiteral("lvListViewParams"));
    lvListViewParams->setColumnCount(2);
    lvListViewParams->setHeaderLabels({QStringLiteral("Parameter"), QStringLiteral("Value")});
    lvListViewParams->setRootIsDecorated(false);
    lvListViewParams->setUniformRowHeights(true);
    for (int c = 0; c < 2; ++c) {
        const QString key = QStringLiteral("ListViewParams_ColWidth%1").arg(c + 1);
        lvListViewParams->setColumnWidth(c, twipsToPixels(context.params->getInt(key, designedColumnWidth[c])));
    }

    pbProgressBarParams = new QProgressBar(this);
    pbProgressBarParams->setObjectName(QStringLiteral("pbProgressBarParams"));
    pbProgressBarParams->setTextVisible(false);
    pbProgressBarParams->setRange(0, ConnectionTest::designedProgressMax);

    txtConnectStatus = new QLineEdit(this);
    txtConnectStatus->setObjectName(QStringLiteral("txtConnectStatus"));
    txtConnectStatus->setReadOnly(true);

    cmdCancelOk = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancelOk->setObjectName(QStringLiteral("cmdCancelOk"));
    cmdCancelOk->setDefault(true);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(txtConnectStatus, 1);
    bottom->addWidget(cmdCancelOk);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lvListViewParams, 1);
    layout->addWidget(pbProgressBarParams);
    layout->addLayout(bottom);

    resize(420, 360);
    expandedHeight = height();

    connect(cmdCancelOk, &QPushButton::clicked, this, &frmConnect::cmdCancelOk_Click);
    connect(&test, &ConnectionTest::rowsCleared, lvListViewParams, &QTreeWidget::clear);
    connect(&test, &ConnectionTest::rowAdded, this, [this](const QString &name, const QString &value) {
        auto *item = new QTreeWidgetItem(lvListViewParams, {name, value});
        lvListViewParams->scrollToItem(item);
    });
    connect(&test, &ConnectionTest::progressChanged, this, [this](int value, int maximum) {
        pbProgressBarParams->setMaximum(maximum);
        pbProgressBarParams->setValue(value);
    });
    connect(&test, &ConnectionTest::statusChanged, txtConnectStatus, &QLineEdit::setText);
    connect(&test, &ConnectionTest::buttonChanged, cmdCancelOk, &QPushButton::setText);
    connect(&test, &ConnectionTest::finished, this, [this](bool connected) {
        if (connected && !test.showParams())
            hide();
    });

    link.setConnectionTester(this);
    link.setCloseCommand(owner::connectWindow, [this] {
        if (isVisible())
            cmdCancelOk_Click();
    });
}

frmConnect::~frmConnect()
{
    if (link.connectionTester() == this)
        link.setConnectionTester(nullptr);
    for (int c = 0; c < 2; ++c)
        context.params->setParam(QStringLiteral("ListViewParams_ColWidth%1").arg(c + 1),
                                 pixelsToTwips(lvListViewParams->columnWidth(c)));
}

int frmConnect::twipsToPixels(int twips) const
{
    return qMax(1, twips * logicalDpiX() / 1440);
}

int frmConnect::pixelsToTwips(int pixels) const
{
    return pixels * 1440 / qMax(1, logicalDpiX());
}

void frmConnect::setLayoutFor(bool showParams)
{
    lvListViewParams->setVisible(showParams);
    layout()->activate();
    if (showParams)
        resize(width(), qMax(expandedHeight, minimumSizeHint().height()));
    else
        resize(width(), minimumSizeHint().height());
}

void frmConnect::runConnect(bool showParams, QObject *form)
{
    setWindowTitle(test.caption());
    if (isHidden() && height() > 0 && lvListViewParams->isVisible())
        expandedHeight = height();
    setLayoutFor(showParams);
    if (auto *over = qobject_cast<QWidget *>(form); over && over->isVisible())
        move(over->frameGeometry().center() - rect().center());
    test.start(showParams);
    // Without the list, a test that is already over (nothing could be sent)
    // still shows its status until the user closes the window.
    if (test.isRunning() || showParams || test.statusText() != QLatin1String("Connected"))
        exec();
    test.storeProgressMax();
}

void frmConnect::cmdCancelOk_Click()
{
    hide();
}

void frmConnect::closeEvent(QCloseEvent *event)
{
    // Closing only hides the window: it keeps its list for the next look.
    event->ignore();
    hide();
}
