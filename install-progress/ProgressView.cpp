#include "ProgressView.h"

#include "ProgressText.h"
#include "ui_ProgressView.h"

#include "platform/InstallScript.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMovie>
#include <QProcess>
#include <QScreen>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>

ProgressView::ProgressView(QWidget* parent, QProcess* process)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::ProgressView>())
    , m_process(process)
{
    Q_INIT_RESOURCE(InstallProgress);
    m_ui->setupUi(this);

    QRect frame = rect();
    frame.moveCenter(QGuiApplication::primaryScreen()->geometry().center());
    move(frame.topLeft());

    auto* movie = new QMovie(QStringLiteral(":/loader3.gif"), QByteArray(), this);
    m_ui->progressIndicator->setMovie(movie);
    movie->setScaledSize(QSize(400, 20));
    movie->start();

    connect(process, &QProcess::started, this, [this] { m_started = true; });
}

ProgressView::~ProgressView() = default;

void ProgressView::showEnd(bool succeeded)
{
    readOutput(true);
    if (succeeded)
        return;
    if (m_lastError.isEmpty())
        showTask(QStringLiteral("Installation failed"), Qt::PlainText);
    else
        showError(QStringLiteral("Installation failed"), m_lastError);
}

void ProgressView::slotOnProcStateChanged(QProcess::ProcessState newState)
{
    if (newState == QProcess::NotRunning)
        showEnd(platform::installScriptSucceeded(m_started, *m_process));
}

void ProgressView::reject()
{
    if (!scriptRuns())
        QDialog::reject();
}

void ProgressView::closeEvent(QCloseEvent* event)
{
    if (scriptRuns())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

bool ProgressView::scriptRuns() const
{
    return m_process->state() != QProcess::NotRunning;
}

void ProgressView::slotOnReadyRead(unsigned int timeElapsed)
{
    m_ui->elapsedTime->setText(QStringLiteral("Elapsed Time     ") + formatElapsed(timeElapsed));
    readOutput(false);
}

void ProgressView::readOutput(bool ended)
{
    readScriptOutput(
        *m_process,
        [this](const QByteArray& error) {
            m_lastError = QString::fromUtf8(error);
            showError(QString(), m_lastError);
        },
        [this](const QString& line) {
            const QRegularExpressionMatch task = kTaskLine.match(line);
            if (task.hasMatch())
                showTask(task.captured(1), Qt::PlainText);
        },
        ended);
}

void ProgressView::showTask(const QString& text, Qt::TextFormat format)
{
    m_ui->currentTask->setTextFormat(format);
    m_ui->currentTask->setText(text);
}

namespace {

// Escaped, so that a "<" in the script's text is text, not markup.
QString asRichText(const QString& heading, const QString& error)
{
    return heading.toHtmlEscaped() + QStringLiteral("<p style=\"color:Red;\">%1</p>")
                                         .arg(error.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br/>")));
}

}  // namespace

bool ProgressView::fitsTheTask(const QString& richText) const
{
    const QLabel* task = m_ui->currentTask;
    QTextDocument document;
    document.setDefaultFont(task->font());
    document.setDocumentMargin(0);
    QTextOption option(task->alignment());
    option.setWrapMode(QTextOption::WordWrap);
    document.setDefaultTextOption(option);
    document.setHtml(richText);
    document.setTextWidth(task->contentsRect().width());
    return document.size().height() <= task->contentsRect().height();
}

void ProgressView::showError(const QString& heading, const QString& error)
{
    // Far more than the box holds, so that fitting costs little however much came.
    constexpr int kMostLines = 20;
    constexpr int kMostCharacters = 2000;
    m_ui->bottomVL->activate();  // the task's box as it will be shown
    const auto fits = [&](const QString& text) { return fitsTheTask(asRichText(heading, text)); };
    QStringList lines = error.trimmed().split(QLatin1Char('\n'));
    lines = lines.mid(std::max(0, lines.size() - kMostLines));
    while (lines.size() > 1 && !fits(lines.join(QLatin1Char('\n'))))
        lines.removeFirst();
    QString shown = lines.join(QLatin1Char('\n'));
    if (!fits(shown)) {
        // One line that wraps past the box: as much of its end as fits.
        const QString line = shown.right(kMostCharacters);
        int low = 0;
        for (int high = line.size(); low < high;) {
            const int middle = (low + high) / 2;
            if (fits(QStringLiteral("\u2026") + line.mid(middle)))
                high = middle;
            else
                low = middle + 1;
        }
        shown = QStringLiteral("\u2026") + line.mid(low);
    }
    showTask(asRichText(heading, shown), Qt::RichText);
}
