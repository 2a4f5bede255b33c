#include "views/ui/signaldock.h"

#include "views/listfont.h"
#include "views/signalpane.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTreeView>
#include <QVBoxLayout>

SignalDock::SignalDock(SignalPane &pane, QWidget *parent)
    : QDockWidget(QStringLiteral("Signals"), parent)
{
    setObjectName(QStringLiteral("dockSignals"));
    setAllowedAreas(Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);

    auto *body = new QWidget(this);
    lblSignalSource = new QLabel(pane.sourceText(), body);
    lblSignalSource->setObjectName(QStringLiteral("lblSignalSource"));
    lvSignals = new QTreeView(body);
    lvSignals->setObjectName(QStringLiteral("lvSignals"));
    lvSignals->setRootIsDecorated(false);
    lvSignals->setUniformRowHeights(true);
    lvSignals->setAllColumnsShowFocus(true);
    lvSignals->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvSignals->setFont(listFont());
    lvSignals->setModel(&pane);
    // A handful of rows: measuring them on every refresh costs nothing.
    lvSignals->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvSignals->header()->setStretchLastSection(true);

    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(lblSignalSource);
    layout->addWidget(lvSignals);
    setWidget(body);

    connect(&pane, &SignalPane::sourceChanged, lblSignalSource, &QLabel::setText);

    lvSignals->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvSignals, &QWidget::customContextMenuRequested, this, [this, &pane](const QPoint &at) {
        qint32 key = -1;
        int field = -1;
        if (!pane.fieldOfRow(lvSignals->indexAt(at).row(), &key, &field))
            return;
        QMenu menu(this);
        QAction *plot = menu.addAction(QStringLiteral("Add to Plot"));
        if (menu.exec(lvSignals->viewport()->mapToGlobal(at)) == plot)
            emit plotRequested(key, field);
    });
    // A double click plots the row too.
    connect(lvSignals, &QAbstractItemView::doubleClicked, this, [this, &pane](const QModelIndex &index) {
        qint32 key = -1;
        int field = -1;
        if (pane.fieldOfRow(index.row(), &key, &field))
            emit plotRequested(key, field);
    });
}
