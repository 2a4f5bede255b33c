// Runs every test class of the program with QTest::qExec. QtTest options pass
// through to each class; a function name ("name" or "name:row") runs only in
// the classes that have it, and "-class <name>" picks whole classes. The exit
// status is non-zero when any class failed.
#include "support/testregistry.h"

#include <QMetaObject>
#include <QSet>
#include <QStringList>
#include <QtTest>

#include <cstdio>
#include <memory>

#if defined(TESSEL_TEST_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(TESSEL_TEST_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

namespace {

bool hasFunction(const QObject &test, const QString &function)
{
    const QByteArray signature = function.section(u':', 0, 0).toLatin1() + "()";
    return test.metaObject()->indexOfMethod(signature.constData()) >= 0;
}

} // namespace

int main(int argc, char **argv)
{
#if defined(TESSEL_TEST_WIDGETS) || defined(TESSEL_TEST_GUI)
    TestApplication::setAttribute(Qt::AA_Use96Dpi, true);
#endif
    TestApplication app(argc, argv);

    // QtTest options that take a value.
    static const QSet<QString> withValue{"-o",          "-maxwarnings", "-eventdelay", "-keydelay",
                                         "-mousedelay", "-seed",        "-repeat",     "-skipblacklisted"};
    const QStringList args = app.arguments();
    QStringList options;
    QStringList functions;
    QStringList classes;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("-class") && i + 1 < args.size()) {
            classes << args[++i];
        } else if (arg.startsWith(u'-')) {
            options << arg;
            if (withValue.contains(arg) && i + 1 < args.size())
                options << args[++i];
        } else {
            functions << arg;
        }
    }

    int failedClasses = 0;
    int ranClasses = 0;
    for (const testregistry::Entry &entry : testregistry::entries()) {
        if (!classes.isEmpty() && !classes.contains(QLatin1String(entry.name)))
            continue;
        const std::unique_ptr<QObject> test(entry.make());
        QStringList mine;
        for (const QString &f : functions)
            if (hasFunction(*test, f))
                mine << f;
        if (!functions.isEmpty() && mine.isEmpty())
            continue;
        ++ranClasses;
        if (QTest::qExec(test.get(), QStringList{args.value(0)} + options + mine) != 0)
            ++failedClasses;
    }
    if (ranClasses == 0 && (!functions.isEmpty() || !classes.isEmpty())) {
        std::fprintf(stderr, "No test class has %s\n", qPrintable((classes + functions).join(u' ')));
        return 1;
    }
    return failedClasses == 0 ? 0 : 1;
}
