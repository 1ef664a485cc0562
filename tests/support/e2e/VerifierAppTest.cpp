#include "VerifierAppTest.h"

#include <QDir>
#include <QImage>
#include <QTest>

namespace {

// Where a tab page's origin lies in the window: under the tab widget's
// (640, 40) header row.
const QPoint kTabPage(641, 69);
// The centres of the tab headers, in the window.
const QPoint kTabHeaders[] = {{674, 55}, {735, 55}, {782, 55}};

}  // namespace

bool VerifierAppTest::startVerifier()
{
    verifier = startProgram(QStringLiteral(KOVA3_VERIFIER), {}, {QStringLiteral("QT_LOGGING_RULES=kova.debug=true")});
    return verifier && waitForVerifier();
}

bool VerifierAppTest::installVerifier()
{
    return installProgram(QStringLiteral(KOVA3_VERIFIER), QStringLiteral("/opt/KOVA3/bin/KOVA3_Verifier"));
}

bool VerifierAppTest::waitForVerifier()
{
    if (!waitForWindow(QLatin1String(kTitle))) {
        ADD_FAILURE() << "no verifier window" << (verifier ? output(*verifier).toStdString() : std::string());
        return false;
    }
    m_origin = windowGeometry(windows(QLatin1String(kTitle)).first()).topLeft();
    return true;
}

QRect VerifierAppTest::inWindow(const QRect& tabWidget)
{
    return tabWidget.translated(kTabPage);
}

bool VerifierAppTest::showTab(Tab tab)
{
    return touch(m_origin + kTabHeaders[static_cast<int>(tab)]);
}

bool VerifierAppTest::answerBox(const QString& title, const QString& keys)
{
    if (!waitForWindow(title)) {
        const QString file = root.path(QStringLiteral("/screen.png"));
        screenshot(file);
        keep(QImage(file), "VerifierAppTest-no-box");
        ADD_FAILURE() << "no box \"" << title.toStdString() << "\"";
        return false;
    }
    const QString box = windows(title).first();
    return keyToWindow(box, keys) && waitForNoWindow(title);
}

McuState VerifierAppTest::instrumentState() const
{
    McuState state;
    McuState::read(root.path(QString::fromLatin1(McuState::kStateFile)), state);
    return state;
}

QImage VerifierAppTest::shot(const QRect& region)
{
    const QString file = root.path(QStringLiteral("/shot.png"));
    return screenshot(file, region.translated(m_origin)) ? QImage(file) : QImage();
}

void VerifierAppTest::keep(const QImage& image, const char* name)
{
    const QString kept = QStringLiteral("%1.png").arg(QLatin1String(name));
    image.save(kept);
    ADD_FAILURE() << "image kept in " << QDir::current().filePath(kept).toStdString();
}
