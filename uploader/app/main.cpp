// Flashor: writes a firmware file into a device through its serial boot loader.
//   Flashor [/r] [/c<port>] [/f<file or pattern> | /f <file or pattern>]

#include "uploader/commandline.h"
#include "uploader/flashorrun.h"
#include "uploader/ui/frmflashor.h"
#include "uploader/ui/qtflashorprompts.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(flashorTitle);

    QtFlashorPrompts prompts;
    if (!prepareTempFolder(platformTempFolder(), prompts))
        return 1;

    FlashorRun run(prompts);
#ifdef Q_OS_WIN
    const FlashorOptions options =
        parseFlashorCommandLine(QApplication::arguments().mid(1).join(' ').prepend(' '), FlashorRun::portCount);
#else
    const FlashorOptions options = parseFlashorArguments(QApplication::arguments().mid(1), FlashorRun::portCount);
#endif

    frmFlashor window(run);
    prompts.setParent(&window);
    run.applyCommandLine(options);
    window.show();
    return app.exec();
}
