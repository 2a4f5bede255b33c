#include "views/recentfiles.h"

#include "core/params.h"

#include <QFileInfo>

namespace {

const QString settingName = QStringLiteral("RecentFiles");

QString normalised(const QString &fileName)
{
    return fileName.isEmpty() ? QString() : QFileInfo(fileName).absoluteFilePath();
}

} // namespace

RecentFiles::RecentFiles(ParamStore &params)
    : params(params)
{
    const QStringList stored = params.getParam(settingName, QString()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &f : stored)
        if (!list.contains(f) && list.size() < maxFiles)
            list << f;
}

void RecentFiles::add(const QString &fileName)
{
    const QString path = normalised(fileName);
    // A name holding a line break could not be kept one a line.
    if (path.isEmpty() || path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
        return;
    list.removeAll(path);
    list.prepend(path);
    while (list.size() > maxFiles)
        list.removeLast();
    save();
}

void RecentFiles::remove(const QString &fileName)
{
    if (list.removeAll(fileName) + list.removeAll(normalised(fileName)) > 0)
        save();
}

void RecentFiles::save()
{
    params.setParam(settingName, list.join(QLatin1Char('\n')));
}
