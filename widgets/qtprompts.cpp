#include "widgets/qtprompts.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace {

// The filters of the program are written "TXT-files|*.txt|All files|*.*";
// Qt wants "TXT-files (*.txt);;All files (*.*)".
QString qtFilter(const QString &filter)
{
    if (!filter.contains('|'))
        return filter;
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
    return out.join(";;");
}

} // namespace

Prompts::Answer QtPrompts::message(const QString &text, const QString &title, Icon icon, Buttons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(title.isEmpty() ? applicationTitle : title);
    box.setText(text);
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    QMessageBox::StandardButtons sb;
    switch (buttons) {
    case Buttons::Ok: sb = QMessageBox::Ok; break;
    case Buttons::OkCancel: sb = QMessageBox::Ok | QMessageBox::Cancel; break;
    case Buttons::YesNo: sb = QMessageBox::Yes | QMessageBox::No; break;
    case Buttons::YesNoCancel: sb = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case Buttons::RetryCancel: sb = QMessageBox::Retry | QMessageBox::Cancel; break;
    case Buttons::AbortRetryIgnore: sb = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore; break;
    }
    box.setStandardButtons(sb);
    switch (box.exec()) {
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Abort: return Answer::Abort;
    case QMessageBox::Ignore: return Answer::Ignore;
    case QMessageBox::Ok: return Answer::Ok;
    default:
        // The close box counts as the box's way out.
        return buttons == Buttons::Ok ? Answer::Ok : buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

QString QtPrompts::openFileName(const QString &title, const QString &filter, const QString &folder)
{
    return QFileDialog::getOpenFileName(parent, title, folder, qtFilter(filter));
}

QString QtPrompts::saveFileName(const QString &title, const QString &filter, const QString &folder,
                                const QString &suggestedName)
{
    const QString start = suggestedName.isEmpty() ? folder : QDir(folder).filePath(suggestedName);
    // The program asks its own overwrite question.
    return QFileDialog::getSaveFileName(parent, title, start, qtFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString QtPrompts::saveFileNameOfType(const QString &title, const QString &filter, const QString &folder,
                                      const QString &suggestedName, QString *chosenFilter)
{
    const QString start = suggestedName.isEmpty() ? folder : QDir(folder).filePath(suggestedName);
    return QFileDialog::getSaveFileName(parent, title, start, qtFilter(filter), chosenFilter,
                                        QFileDialog::DontConfirmOverwrite);
}
