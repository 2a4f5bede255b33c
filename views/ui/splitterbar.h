#pragma once

#include <QWidget>

// A splitter image of the main window (imgSplitter, imgSplitterH): a thin
// strip between two panes that only reports the mouse; the main window moves
// the panes.
class SplitterBar final : public QWidget
{
    Q_OBJECT
  public:
    SplitterBar(Qt::Orientation orientation, int index, QWidget *parent = nullptr);

    [[nodiscard]] Qt::Orientation orientation() const { return direction; }
    [[nodiscard]] int index() const { return number; }

  signals:
    // Positions are in the bar's parent's coordinates.
    void mouseDown(Qt::MouseButton button, QPoint position, QPoint globalPosition);
    void mouseMove(QPoint position);
    void mouseUp(QPoint position);

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

  private:
    Qt::Orientation direction;
    int number;
};
