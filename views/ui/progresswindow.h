#pragma once

#include <QDialog>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

// Sets up a small modal progress window: `pbProgressBarAdd` counts up to
// `steps` and the first tick of the one-shot `tmrAddPB`, once the window is
// up, runs the window's `tmrAddPB_Timer`, which does the work.
template <class Window> void setUpProgressWindow(Window *window, const char *name, const QString &title, qint64 steps)
{
    window->setObjectName(QLatin1String(name));
    window->setWindowTitle(title);
    window->setModal(true);
    window->pbProgressBarAdd = new QProgressBar(window);
    window->pbProgressBarAdd->setObjectName(QStringLiteral("pbProgressBarAdd"));
    window->pbProgressBarAdd->setRange(0, int(std::min<qint64>(steps, std::numeric_limits<int>::max())));
    window->pbProgressBarAdd->setValue(0);
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(window->pbProgressBarAdd);
    window->resize(320, window->sizeHint().height());

    window->tmrAddPB = new QTimer(window);
    window->tmrAddPB->setInterval(1);
    window->tmrAddPB->setSingleShot(true);
    QObject::connect(window->tmrAddPB, &QTimer::timeout, window, &Window::tmrAddPB_Timer);
    window->tmrAddPB->start();
}
