#include "UpdatePackage.h"

#include "HostTool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kBlock = 512;

// An octal field of a tar header: digits, then NUL.
void octal(char* field, int size, qint64 value)
{
    const QByteArray digits = QByteArray::number(value, 8).rightJustified(size - 1, '0');
    std::memcpy(field, digits.constData(), static_cast<size_t>(size - 1));
}

// One header in GNU tar's old format: a name or link longer than its field
// comes in a record of its own before it; a sparse file's map and real size
// stand in the header.
QByteArray header(char type, const QByteArray& name, qint64 size, const QByteArray& link, int mode,
                  qint64 sparseSize = 0)
{
    QByteArray records;
    const auto longRecord = [&](char kind, const QByteArray& text) {
        const QByteArray data = text + '\0';
        records += header(kind, "././@LongLink", data.size(), QByteArray(), 0);
        records += data + QByteArray((kBlock - data.size() % kBlock) % kBlock, '\0');
    };
    if (name.size() > 100)
        longRecord('L', name);
    if (link.size() > 100)
        longRecord('K', link);
    QByteArray block(kBlock, '\0');
    char* h = block.data();
    std::memcpy(h, name.constData(), static_cast<size_t>(std::min(name.size(), 100)));
    octal(h + 100, 8, mode);
    octal(h + 108, 8, 0);
    octal(h + 116, 8, 0);
    octal(h + 124, 12, size);
    octal(h + 136, 12, 1700000000);
    h[156] = type;
    std::memcpy(h + 157, link.constData(), static_cast<size_t>(std::min(link.size(), 100)));
    std::memcpy(h + 257, "ustar  ", 8);
    if (type == '3') {
        octal(h + 329, 8, 1);
        octal(h + 337, 8, 3);
    }
    if (type == 'S') {
        octal(h + 386, 12, sparseSize);  // one region of no bytes at the end: the rest is a hole
        octal(h + 398, 12, 0);
        octal(h + 483, 12, sparseSize);
    }
    std::memset(h + 148, ' ', 8);
    unsigned sum = 0;
    for (int i = 0; i < kBlock; ++i)
        sum += static_cast<unsigned char>(h[i]);
    octal(h + 148, 7, sum);
    return records + block;
}

}  // namespace

QByteArray UpdatePackage::noise(int size)
{
    QByteArray bytes(size, '\0');
    quint32 state = 2463534242u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}

UpdatePackage::UpdatePackage(const QByteArray& version, const QByteArray& script, Damage damage)
{
    file(QStringLiteral("VERSION"), version);
    if (damage != Damage::NoScript)
        file(QStringLiteral("install.sh"), "#!/bin/sh\n" + script, 0755);
    switch (damage) {
    case Damage::None:
    case Damage::NoScript:
        break;
    case Damage::CutTail:
        // Bytes gzip cannot shrink, so that the cut lands in them, after VERSION.
        file(QStringLiteral("payload.bin"), noise(64 * 1024));
        m_cutTail = true;
        break;
    case Damage::ParentMember:
        file(QStringLiteral("../x"), "outside\n");
        break;
    case Damage::AbsoluteMember:
        file(QStringLiteral("/etc/x"), "outside\n");
        break;
    case Damage::LinkOut:
        symlink(QStringLiteral("out"), QStringLiteral("/etc"));
        break;
    }
}

UpdatePackage& UpdatePackage::file(const QString& name, const QByteArray& content, int mode)
{
    m_members << Member{'0', name, content, QString(), mode};
    return *this;
}

UpdatePackage& UpdatePackage::folder(const QString& name)
{
    m_members << Member{'5', name, QByteArray(), QString(), 0755};
    return *this;
}

UpdatePackage& UpdatePackage::symlink(const QString& name, const QString& target)
{
    m_members << Member{'2', name, QByteArray(), target, 0777};
    return *this;
}

UpdatePackage& UpdatePackage::hardlink(const QString& name, const QString& target)
{
    m_members << Member{'1', name, QByteArray(), target, 0644};
    return *this;
}

UpdatePackage& UpdatePackage::characterDevice(const QString& name)
{
    m_members << Member{'3', name, QByteArray(), QString(), 0644};
    return *this;
}

UpdatePackage& UpdatePackage::sparseFile(const QString& name, qint64 size)
{
    m_members << Member{'S', name, QByteArray(), QString(), 0644, size};
    return *this;
}

UpdatePackage& UpdatePackage::zeroFile(const QString& name, qint64 size)
{
    m_members << Member{'0', name, QByteArray(), QString(), 0644, 0, size};
    return *this;
}

bool UpdatePackage::write(const QString& path) const
{
    QDir().mkpath(QFileInfo(path).path());
    const QString plain = path + QStringLiteral(".tar");
    QFile out(plain);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const auto put = [&out](const QByteArray& bytes) { return out.write(bytes) == bytes.size(); };
    bool written = true;
    bool bomb = false;
    for (const Member& m : m_members) {
        const qint64 size = m.zeros > 0 ? m.zeros : m.content.size();
        written = written && put(header(m.type, m.name.toUtf8(), size, m.link.toUtf8(), m.mode, m.sparseSize))
                  && put(m.content);
        const QByteArray zeros(1 << 20, '\0');
        for (qint64 left = m.zeros; written && left > 0; left -= zeros.size())
            written = put(zeros.left(int(std::min<qint64>(left, zeros.size()))));
        written = written && put(QByteArray(int((kBlock - size % kBlock) % kBlock), '\0'));
        bomb = bomb || m.zeros > 0;
    }
    written = written && put(QByteArray(2 * kBlock, '\0'));
    out.close();
    if (!written)
        return false;
    QFile::remove(path);
    const QString level = bomb ? QStringLiteral("-9") : QStringLiteral("-1");
    if (!runHostTool(QStringLiteral("gzip"), {level, QStringLiteral("-n"), plain}, 600000).succeeded()
        || !QFile::rename(plain + QStringLiteral(".gz"), path))
        return false;
    return !m_cutTail || QFile::resize(path, QFileInfo(path).size() / 2);
}
