#pragma once

#include "TempRoot.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <cstdio>

// What the text front end writes, kept in memory.
class CapturedOutput
{
public:
    CapturedOutput();
    ~CapturedOutput();
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    std::FILE* file() const { return m_file; }
    QByteArray text() const;

private:
    char* m_buffer = nullptr;
    size_t m_size = 0;
    std::FILE* m_file;
};

// An install script whose output the test writes piece by piece: each piece
// is one write of the child to one channel, and the test goes on only once
// the parent has read it, so the front end sees exactly these pieces.
class ScriptedChild
{
public:
    enum Channel { Out, Err };

    // Sets up `process` under `root`; start() runs it.
    explicit ScriptedChild(const TempRoot& root);
    ~ScriptedChild();

    bool start();
    bool write(Channel channel, const QByteArray& text);
    // The child ends by itself with code 0.
    bool end();

    QProcess process;
};

// The package folder "<root>/pkg" with the fixture `name` as its install.sh,
// not executable (the viewer makes it so); without a fixture name, no script.
QString layOutPackage(const TempRoot& root, const QString& name);
