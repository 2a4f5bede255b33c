#pragma once

#include <QString>

// Treats the answers to the commands sent under one owner code of the link
// (clsProcess::Owner).
class LinkOwner
{
public:
    virtual ~LinkOwner() = default;
    // Called with process n >= 1: treats the answer, "TimeOut" or "Error" of
    // process n - 1 (reading the answer through the link's packetByte) and
    // frees it.
    virtual void treatAnswer(int process, const QString &command) = 0;
};
