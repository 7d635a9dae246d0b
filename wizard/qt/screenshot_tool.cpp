// SPDX-License-Identifier: MIT
// Saves a picture of each wizard page for the documentation: one run over a
// small sample through all five pages, one over a big file caught on the
// progress page once its time estimate shows, and the last page after a
// failed conversion. Built on request only
// (target quendle_screenshots); scripts/screenshots.sh runs it under Xvfb.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QThread>
#include <cstdio>
#include <functional>
#include <memory>

#include "engine/settings.h"
#include "wizard/qt/wizard_frame.h"

namespace {

std::unique_ptr<engine::ConversionSettings> SettingsFor(const QStringList& arguments) {
    auto settings = std::make_unique<engine::ConversionSettings>();
    engine::SetDefaultSettings(settings.get());
    wizard::ParseArguments(settings.get(), arguments, "");
    return settings;
}

bool WaitUntil(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

bool Save(wizard::WizardFrame& frame, const QDir& folder, const char* name) {
    QCoreApplication::processEvents();
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (!frame.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 4) {
        std::fputs("usage: quendle_screenshots SAMPLE.csv BIG.csv OUTPUT-FOLDER\n", stderr);
        return 2;
    }
    const QString sample = QString::fromLocal8Bit(argv[1]);
    const QString big = QString::fromLocal8Bit(argv[2]);
    const QDir folder(QString::fromLocal8Bit(argv[3]));
    const QString work = QDir::temp().filePath(QStringLiteral("quendle-screenshots.xlsx"));
    bool saved = true;
    {
        auto settings =
            SettingsFor({sample, work, QStringLiteral("/FIELDS=;"), QStringLiteral("/HEADER=1"),
                         QStringLiteral("/ALLCHAR=0"), QStringLiteral("/OVERWRITE=1")});
        wizard::WizardFrame frame(settings.get());
        frame.setUrlOpener([](const QUrl&) { return true; });
        frame.show();
        WaitUntil([&] { return frame.isVisible(); }, 5000);
        saved = Save(frame, folder, "1-welcome.png") && saved;
        frame.next();
        saved = Save(frame, folder, "2-source.png") && saved;
        frame.next();
        saved = Save(frame, folder, "3-output.png") && saved;
        frame.next();
        WaitUntil([&] { return frame.currentId() == wizard::kCompletionPageId; }, 60000);
        saved = Save(frame, folder, "5-completion.png") && saved;
        frame.reject();
    }
    {
        auto settings =
            SettingsFor({big, work, QStringLiteral("/OVERWRITE=1"), QStringLiteral("/ALLCHAR=0")});
        wizard::WizardFrame frame(settings.get());
        frame.show();
        frame.next();
        frame.next();
        frame.next();
        auto* time = frame.findChild<QLabel*>(QStringLiteral("timeLabel"));
        const bool estimated =
            WaitUntil([&] { return time->text().startsWith(QStringLiteral("Elapsed")); }, 120000);
        saved = estimated && Save(frame, folder, "4-progress.png") && saved;
        frame.reject();
        frame.waitForWorker();
    }
    {
        // The last page after a failure: a file that is no workbook, kept.
        // BATCH shows the reason on the page rather than in a box.
        const QString broken =
            QDir::temp().filePath(QStringLiteral("quendle-screenshots-old.xlsx"));
        QFile file(broken);
        saved = file.open(QIODevice::WriteOnly) && file.write("not a workbook") > 0 && saved;
        file.close();
        auto settings = SettingsFor({sample, broken, QStringLiteral("/FIELDS=;"),
                                     QStringLiteral("/OVERWRITE=0"), QStringLiteral("/BATCH"),
                                     QStringLiteral("/WAIT")});
        wizard::WizardFrame frame(settings.get());
        frame.setUrlOpener([](const QUrl&) { return true; });
        frame.show();
        WaitUntil([&] { return frame.currentId() == wizard::kCompletionPageId; }, 60000);
        saved = Save(frame, folder, "6-failed.png") && saved;
        frame.reject();
        QFile::remove(broken);
    }
    QFile::remove(work);
    return saved ? 0 : 1;
}
