#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A fresh instrument root for one test: KOVA3_ROOT points at an empty
// temporary folder for the fixture's life and is restored afterwards.
// In a test's child process (runInFreshProcess) the root is the parent's, named
// by kSharedRootVariable, and is left in place.
class TempRoot
{
public:
    static constexpr char kSharedRootVariable[] = "KOVA_TEST_SHARED_ROOT";

    TempRoot();
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;

    // The physical folder standing for "/".
    QString root() const { return m_root; }
    // The physical path of a logical path ("/opt/KOVA3/conf" → "<root>/opt/KOVA3/conf").
    QString path(const QString& logical) const { return m_root + logical; }

    // Writes a file at a logical path (folders created); returns its physical path.
    QString writeFile(const QString& logical, const QByteArray& content) const;
    // Copies a file of the host (a fixture) to a logical path; returns its physical path.
    QString copyFile(const QString& source, const QString& logical) const;
    // Installs an executable stand-in script at a logical path, e.g. "/usr/bin/mount".
    QString writeScript(const QString& logical, const QByteArray& body) const;
    // The whole content of a file at a logical path ("" when missing).
    QByteArray readFile(const QString& logical) const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;  // null for a shared root
    QString m_root;
    QByteArray m_previous;
    bool m_hadPrevious;
};
