// The desktop application killed in the middle of a session: a run in a
// process of its own measures three points and is killed with SIGKILL once
// its autosave holds them; the next run, in the same home, offers them back
// and restores every measurement with its marks, vertices and log.
#include "session/SessionFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

namespace {

const QString kSamples = QStringLiteral(RANVISTA_SOURCE_DIR "/samples/");

QStringList Lines(const QByteArray& out, const QString& prefix) {
    QStringList lines;
    for (const QString& line : QString::fromUtf8(out).split('\n')) {
        if (line.startsWith(prefix)) {
            lines << line;
        }
    }
    return lines;
}

// The table's rows as the driver prints them (time and note included).
QStringList Rows(const QByteArray& out) {
    return Lines(out, "row\t");
}

} // namespace

TEST(WorkspaceProcess, AKilledRunLosesNoMeasurementAndTheNextRunOffersThemAllBack) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home.path());
    for (const char* name : {"CONFIG", "CACHE", "DATA", "STATE"}) {
        env.insert(QStringLiteral("XDG_%1_HOME").arg(name),
                   home.filePath(QString::fromLatin1(name).toLower()));
    }
    env.insert("XDG_RUNTIME_DIR", home.path());
    const QString store = home.filePath("ImgBinDat");
    ASSERT_TRUE(QFile::copy(kSamples + "ImgBinDat", store));

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(RANVISTA_WORKSPACE_DRIVER,
                {"measure", store, kSamples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png",
                 kSamples + "oppy-navcam/1N137057367EFF4000P1916R0M1.png"});
    ASSERT_TRUE(first.waitForStarted());
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (!out.contains("measured\n") && clock.elapsed() < 60000 &&
           first.state() == QProcess::Running) {
        first.waitForReadyRead(200);
        out += first.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains("measured\n"))
        << out.toStdString() << first.readAllStandardError().toStdString();
    const QStringList measured = Rows(out);
    ASSERT_EQ(measured.size(), 3) << out.toStdString();

    // The run's autosave, once it holds all three: then the process dies.
    const QString autosave = home.filePath(
        QStringLiteral("data/Ranvista/Ranvista/autosave-%1.rvsession").arg(first.processId()));
    bool saved = false;
    while (!saved && clock.elapsed() < 70000) {
        const SessionReadResult read = ReadSessionFile(autosave.toStdString());
        saved = read.ok && read.session.measurements.size() == 3;
        if (!saved) {
            QThread::msleep(50);
        }
    }
    ASSERT_TRUE(saved) << "no autosave at " << autosave.toStdString();
    ASSERT_EQ(::kill(static_cast<pid_t>(first.processId()), SIGKILL), 0);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::CrashExit);
    ASSERT_TRUE(QFile::exists(autosave)) << "left behind by the killed run";

    QProcess next;
    next.setProcessEnvironment(env);
    next.start(RANVISTA_WORKSPACE_DRIVER, {"restore", store});
    ASSERT_TRUE(next.waitForFinished(60000));
    const QByteArray restored = next.readAllStandardOutput();
    ASSERT_EQ(next.exitCode(), 0) << next.readAllStandardError().toStdString();
    EXPECT_TRUE(restored.contains("questions 1\n")) << restored.toStdString();
    EXPECT_EQ(Rows(restored), measured);
    EXPECT_EQ(Lines(restored, "marks "), Lines(out, "marks "));
    EXPECT_EQ(Lines(restored, "vertices "), Lines(out, "vertices "));
    EXPECT_EQ(Lines(restored, "log "), Lines(out, "log "));
    EXPECT_TRUE(restored.contains("closed\n"));
    EXPECT_FALSE(QFile::exists(autosave)) << "restored, the killed run's autosave goes";
    EXPECT_TRUE(QDir(home.filePath("data/Ranvista/Ranvista"))
                    .entryList({"autosave-*.rvsession"}, QDir::Files)
                    .isEmpty())
        << "and the clean close removed the new run's own";
}
