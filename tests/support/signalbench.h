#pragma once

// The main window over data base "Bench": identifier 123 "Drive" with Speed
// (bits 0..15, 0.1 km/h) and Gear (bits 16..19, 7 "Reverse"), fed with
// decoding runs of frames of 123 as the capture path hands them over.
#include "support/fakeprompts.h"
#include "support/linkharness.h"
#include "support/seeddatabase.h"
#include "views/ui/frmmain.h"
#include "views/ui/messageviews.h"

#include <QSize>

#include <initializer_list>
#include <memory>

// The window's child of type T (named `name` when given); a test cannot go
// on without it.
template <class T> T *part(const QObject &window, const char *name = nullptr)
{
    T *found = name ? window.findChild<T *>(QLatin1String(name)) : window.findChild<T *>();
    if (!found)
        qFatal("no %s", name ? name : "part");
    return found;
}

struct SignalBench
{
    std::unique_ptr<SeedDatabase> seed;
    FakePrompts prompts;
    AppContext context;
    qint64 stamp = 0;

    // A fresh seed database holding "Bench" as the data base in use; false
    // when a row cannot be stored.
    bool reset()
    {
        static const char *const rows[] = {
            "insert into CAN values (1, 'Bench', 10, 3, 4)",
            "insert into CAN_Device values (10, 1, 'Engine')",
            "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (100, 10, 291, 'Drive', 1)",
            "insert into CAN_Data (id_CAN_Data, id_CAN_ID, Name, \"Begin\", \"Count\", Factor, Unit) "
            "values (1000, 100, 'Speed', 0, 16, 0.1, 'km/h')",
            "insert into CAN_Data (id_CAN_Data, id_CAN_ID, Name, \"Begin\", \"Count\") values (1001, 100, 'Gear', 16, "
            "4)",
            "insert into CAN_Value values (1001, 7, 'Reverse')",
            "insert into Params values ('id_CAN', '1')",
        };
        seed = std::make_unique<SeedDatabase>();
        for (const char *row : rows)
            if (!seed->db.execute(QString::fromLatin1(row)))
                return false;
        seed->params.loadParams();
        prompts = FakePrompts();
        stamp = 0;
        return true;
    }

    // The main window, shown (at `size` when given) and past its start-up timer.
    std::unique_ptr<frmMain> start(QSize size = {})
    {
        context = AppContext{&seed->db, &seed->params, &prompts, {}};
        auto window = std::make_unique<frmMain>(context, makeLinkPort);
        if (size.isValid())
            window->resize(size);
        window->show();
        window->loadTimer_Timer();
        return window;
    }

    // One decoding run of frames of 123 carrying `speeds`, `step` stamp ticks
    // apart; the gear is 7 ("Reverse"), or speed % 8 with `gearFromSpeed`.
    void capture(frmMain &window, std::initializer_list<int> speeds, qint64 step = 0, bool gearFromSpeed = false)
    {
        CaptureSink &sink = *part<MessageViews>(window);
        for (int speed : speeds) {
            clsFrame f;
            f.ID.StdPart = 0x123;
            f.DLC = 3;
            f.TimeStamp = stamp;
            stamp += step;
            const char gear = char(gearFromSpeed ? speed % 8 : 7);
            f.setData(QByteArray(1, char(speed & 0xFF)) + char(speed >> 8) + gear);
            sink.captureFrame(f);
        }
        sink.captureBatchDone();
    }
};
