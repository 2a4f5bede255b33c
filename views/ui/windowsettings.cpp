#include "views/ui/windowsettings.h"

#include "core/params.h"
#include "views/mainlayout.h"
#include "views/ui/mainpanes.h"

#include <QAction>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QScreen>

namespace {

const QString keySplitterWidth = QStringLiteral("SplitterWidth");
const QString keyMainState = QStringLiteral("MainState");
const QString keyMainLeft = QStringLiteral("MainLeft");
const QString keyMainTop = QStringLiteral("MainTop");
const QString keyMainWidth = QStringLiteral("MainWidth");
const QString keyMainHeight = QStringLiteral("MainHeight");
const QString keyVSplitter = QStringLiteral("V-Splitter");
const QString keyHSplitter = QStringLiteral("H-Splitter");
const QString keyMessagesColWidth = QStringLiteral("ListViewMessages_ColWidth");
const QString keyIDColWidth = QStringLiteral("ListViewID_ColWidth");

// Splitter widths that still leave a bar to grab and panes to see.
constexpr int minSplitterPixels = 2;
constexpr int maxSplitterPixels = 40;
constexpr int maxColumnPixels = 4000;

} // namespace

WindowSettings::WindowSettings(QMainWindow &window, ParamStore &params, MainLayout &layout, QHeaderView *messageColumns,
                               QHeaderView *idColumns)
    : window(window)
    , params(params)
    , layout(layout)
    , messageColumns(messageColumns)
    , idColumns(idColumns)
{
}

void WindowSettings::restore()
{
    const double dx = dpiX(window);
    const double dy = dpiY(window);

    const int splitterTwips = params.getInt(keySplitterWidth, 60);
    layout.splitterWidth = std::clamp(twipsToPixels(splitterTwips, dx), minSplitterPixels, maxSplitterPixels);

    const int currentState = window.isMaximized() ? 2 : (window.isMinimized() ? 1 : 0);
    const int state = params.getInt(keyMainState, currentState);
    if (state != 0)
        window.showNormal();

    const QRect current = window.geometry();
    QRect wanted(twipsToPixels(params.getInt(keyMainLeft, int(pixelsToTwips(current.x(), dx))), dx),
                 twipsToPixels(params.getInt(keyMainTop, int(pixelsToTwips(current.y(), dy))), dy),
                 twipsToPixels(params.getInt(keyMainWidth, int(pixelsToTwips(current.width(), dx))), dx),
                 twipsToPixels(params.getInt(keyMainHeight, int(pixelsToTwips(current.height(), dy))), dy));
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    wanted = usableGeometry(wanted, window.minimumSize(), screens);
    window.setGeometry(wanted);
    if (state == 2)
        window.showMaximized();

    // First-start splitters divide the restored (normal) window evenly.
    const QWidget *menu = window.menuWidget();
    const QSize inner(wanted.width(), wanted.height() - (menu && !menu->isHidden() ? menu->sizeHint().height() : 0));
    for (int k = 0; k < MainLayout::verticalSplitters; ++k) {
        const int fallback = int(pixelsToTwips(MainLayout::defaultVertical(k, inner.width()), dx));
        layout.vSplitter[size_t(k)] = twipsToPixels(params.getInt(keyVSplitter + QString::number(k), fallback), dx);
    }
    for (int k = 0; k < MainLayout::horizontalSplitters; ++k) {
        const int fallback = int(pixelsToTwips(MainLayout::defaultHorizontal(k, inner.height()), dy));
        layout.hSplitter[size_t(k)] = twipsToPixels(params.getInt(keyHSplitter + QString::number(k), fallback), dy);
    }
    // The positions are the restored window's: the next layout takes them as they are.
    layout.placedFor = QSize();

    const auto restoreColumns = [this, dx](QHeaderView *header, const QString &key) {
        for (int i = 1; i <= header->count(); ++i) {
            // A hidden column shows its size only while shown.
            const bool hidden = header->isSectionHidden(i - 1);
            header->setSectionHidden(i - 1, false);
            const int fallback = int(pixelsToTwips(header->sectionSize(i - 1), dx));
            const int pixels = twipsToPixels(params.getInt(key + QString::number(i), fallback), dx);
            header->resizeSection(i - 1, std::clamp(pixels, header->minimumSectionSize(), maxColumnPixels));
            header->setSectionHidden(i - 1, hidden);
        }
    };
    restoreColumns(messageColumns, keyMessagesColWidth);
    restoreColumns(idColumns, keyIDColWidth);
    for (const HiddenColumns &h : std::as_const(hiddenColumns)) {
        const QStringList hidden = params.getParam(h.key, QString()).split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (int c : h.columns)
            h.header->setSectionHidden(c, hidden.contains(QString::number(c + 1)));
    }

    for (const auto &[key, item] : std::as_const(shownStates))
        if ((params.getInt(key, 0) != 0) != item->isChecked())
            item->trigger();
}

void WindowSettings::addShownState(const QString &key, QAction *item)
{
    shownStates.append({key, item});
}

void WindowSettings::addHiddenColumns(const QString &key, QHeaderView *header, const QList<int> &columns)
{
    hiddenColumns.append({key, header, columns});
}

void WindowSettings::save()
{
    const double dx = dpiX(window);
    const double dy = dpiY(window);
    // Every setting is a write to the data base file: only changed ones are written.
    const auto setParam = [this](const QString &key, qint64 value) {
        const QString text = QString::number(value);
        if (!params.contains(key) || params.getParam(key, text) != text)
            params.setParam(key, text);
    };
    setParam(keyMainState, window.isMinimized() ? 1 : (window.isMaximized() ? 2 : 0));
    for (int k = 0; k < MainLayout::verticalSplitters; ++k)
        setParam(keyVSplitter + QString::number(k), pixelsToTwips(layout.vSplitter[size_t(k)], dx));
    for (int k = 0; k < MainLayout::horizontalSplitters; ++k)
        setParam(keyHSplitter + QString::number(k), pixelsToTwips(layout.hSplitter[size_t(k)], dy));
    const auto saveColumns = [&setParam, dx](QHeaderView *header, const QString &key) {
        // A hidden column keeps the width it had when last shown.
        for (int i = 1; i <= header->count(); ++i)
            if (!header->isSectionHidden(i - 1))
                setParam(key + QString::number(i), pixelsToTwips(header->sectionSize(i - 1), dx));
    };
    saveColumns(messageColumns, keyMessagesColWidth);
    saveColumns(idColumns, keyIDColWidth);
    for (const auto &[key, item] : std::as_const(shownStates))
        setParam(key, item->isChecked() ? 1 : 0);
    for (const HiddenColumns &h : std::as_const(hiddenColumns)) {
        QStringList hidden;
        for (int c : h.columns)
            if (h.header->isSectionHidden(c))
                hidden << QString::number(c + 1);
        const QString text = hidden.join(QLatin1Char(','));
        if (params.getParam(h.key, QString()) != text)
            params.setParam(h.key, text);
    }
    // The rectangle of the normal state, also while maximised or minimised.
    const QRect normal = (window.isMaximized() || window.isMinimized()) ? window.normalGeometry() : window.geometry();
    setParam(keyMainLeft, pixelsToTwips(normal.x(), dx));
    setParam(keyMainTop, pixelsToTwips(normal.y(), dy));
    setParam(keyMainWidth, pixelsToTwips(normal.width(), dx));
    setParam(keyMainHeight, pixelsToTwips(normal.height(), dy));
}
