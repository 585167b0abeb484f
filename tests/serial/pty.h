// A pseudo-terminal pair for port tests: the test holds the master, the port opens the slave
// through COMPORT_MAP.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <termios.h>

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int Master() const { return master_; }
    const QString& SlavePath() const { return slavePath_; }
    // Maps COM port `number` to the slave (the whole map).
    void MapAs(int number) const;
    void Write(const QByteArray& bytes) const;
    // Reads until n bytes came or the deadline passed.
    QByteArray Read(int n, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const;
    void CloseMaster();
    // The slave's line settings as another program would read them.
    termios SlaveSettings() const;

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

// Runs the event loop until the condition holds or the deadline passes; returns the condition.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
