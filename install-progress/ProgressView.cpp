#include "ProgressView.h"

#include "ProgressText.h"
#include "ui_ProgressView.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMovie>
#include <QProcess>
#include <QScreen>

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
        showTask(QStringLiteral("Installation failed") + m_lastError, Qt::RichText);
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
            // Escaped: a "<" in the script's error text is text, not markup.
            m_lastError = QStringLiteral("<p style=\"color:Red;\">%1</p>").arg(QString::fromUtf8(error).toHtmlEscaped());
            showTask(m_lastError, Qt::RichText);
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
