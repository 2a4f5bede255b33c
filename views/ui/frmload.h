#pragma once

#include "core/capturefile.h"
#include "views/capturedocument.h"

#include <QDialog>

#include <functional>
#include <vector>

class QProgressBar;
class QTimer;

// The small modal progress window of a capture-file load: the file is read in
// the first tick of tmrAddPB and pbProgressBarAdd counts its lines. The user
// cannot close it; it closes itself when the file has been read.
class frmLoad final : public QDialog
{
    Q_OBJECT
  public:
    // `reader` is open; the frames read go to `frames`.
    frmLoad(capturefile::CaptureFileReader &reader, QString delimiter, double bitRate, std::vector<clsFrame> &frames,
            QWidget *parent = nullptr);

    [[nodiscard]] const capturefile::ReadResult &result() const { return read; }
    // The load itself (tmrAddPB's first tick); closes the window.
    void tmrAddPB_Timer();

    QProgressBar *pbProgressBarAdd = nullptr;
    QTimer *tmrAddPB = nullptr;

  protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

  private:
    capturefile::CaptureFileReader &reader;
    QString delimiter;
    double bitRate;
    std::vector<clsFrame> &frames;
    capturefile::ReadResult read;
    bool done = false;
};

// The same window for a log of another tool: the bar counts KiB of the file.
class frmLoadLog final : public QDialog
{
    Q_OBJECT
public:
    // Reads the file, telling `progress` the bytes read; false from it cancels.
    using Read = std::function<logformat::ReadResult(const std::function<bool(qint64 bytesRead)> &progress)>;
    frmLoadLog(qint64 fileSize, Read read, QWidget *parent = nullptr);

    [[nodiscard]] const logformat::ReadResult &result() const { return readResult; }
    void tmrAddPB_Timer();

    QProgressBar *pbProgressBarAdd = nullptr;
    QTimer *tmrAddPB = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    Read read;
    logformat::ReadResult readResult;
    bool done = false;
};

// Opens capture files behind the progress window, over `parent`.
class ProgressLoader final : public CaptureLoader
{
  public:
    explicit ProgressLoader(QWidget *parent)
        : parent(parent)
    {
    }
    capturefile::ReadResult load(capturefile::CaptureFileReader &reader, const QString &delimiter, double bitRate,
                                 std::vector<clsFrame> &frames) override;
    logformat::ReadResult loadLog(const QString &fileName, const logformat::ReadOptions &options,
                                  std::vector<clsFrame> &frames) override;

  private:
    QWidget *parent;
};
