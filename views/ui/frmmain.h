#pragma once

#include "link/appcontext.h"

#include <QMainWindow>

// The main window of Tessel.
class frmMain final : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(AppContext &context, QWidget *parent = nullptr);

private:
    AppContext &context;
};
