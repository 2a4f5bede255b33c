#include "uploader/ui/qtflashorprompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

// "RFW-files|*.rfw|All files|*.*" -> "RFW-files (*.rfw);;All files (*)"
QString qtFilter(const QString &filter)
{
    const QStringList parts = filter.split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        if (pattern == "*.*")
            pattern = "*";
        out << QStringLiteral("%1 (%2)").arg(parts[i], pattern.replace(';', ' '));
    }
    return out.join(";;");
}

} // namespace

void QtFlashorPrompts::message(const QString &text, const QString &title, Icon icon)
{
    QMessageBox box(parent);
    box.setWindowTitle(title.isEmpty() ? flashorTitle : title);
    box.setText(text);
    box.setIcon(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

QString QtFlashorPrompts::openFileName(const QString &title, const QString &filter, const QString &startFile)
{
    // A pattern such as ".../*.rfw" opens the dialog in its folder.
    QString start = startFile;
    if (start.contains('*') || start.contains('?'))
        start = QFileInfo(start).path();
    return QFileDialog::getOpenFileName(parent, title, start, qtFilter(filter));
}
