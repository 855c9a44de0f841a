// The program's command line, run as a user runs it: the device list on a
// private sound server with two sinks, the help, a mistyped option.
#include "../measure/pulse_server.h"

#include <gtest/gtest.h>

#include <QProcess>

using ravlon::test::PulseServer;

TEST(CommandLine, ListDevicesNamesBothSinksAndTheirMonitorsWithoutAWindow) {
    PulseServer server;
    const std::string why = server.start({"ravlon_a", "ravlon_b"});
    if (why == "no pulseaudio binary") GTEST_SKIP() << "no pulseaudio binary on this machine";
    ASSERT_TRUE(why.empty()) << why;
    QProcess ravlon;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", QString::fromStdString(server.server()));
    env.remove("QT_QPA_PLATFORM"); // no display either: a window could not open
    env.remove("DISPLAY");
    env.remove("RAVLON_AUDIO");
    ravlon.setProcessEnvironment(env);
    ravlon.start(RAVLON_EXECUTABLE, {"--list-devices"});
    ASSERT_TRUE(ravlon.waitForFinished(30000));
    EXPECT_EQ(ravlon.exitCode(), 0) << ravlon.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(ravlon.readAllStandardOutput());
    const QString rates = "; rates 8000 16000 22050 32000 44100 48000 96000 192000 Hz";
    for (const QString& line :
         QStringList{"Pulse (pulse): the default audio system",
                     "  ravlon_a: 1 output channel, 0 input channels" + rates + "; default output",
                     "  ravlon_b: 1 output channel, 0 input channels" + rates,
                     "  Monitor of ravlon_a: 0 output channels, 1 input channel" + rates +
                         "; default input",
                     "  Monitor of ravlon_b: 0 output channels, 1 input channel" + rates})
        EXPECT_TRUE(out.split('\n').contains(line)) << line.toStdString() << " in\n"
                                                    << out.toStdString();

    ravlon.start(RAVLON_EXECUTABLE, {"--help"});
    ASSERT_TRUE(ravlon.waitForFinished(30000));
    EXPECT_EQ(ravlon.exitCode(), 0);
    EXPECT_TRUE(ravlon.readAllStandardOutput().contains("--list-devices"));
    ravlon.start(RAVLON_EXECUTABLE, {"--list-device"});
    ASSERT_TRUE(ravlon.waitForFinished(30000));
    EXPECT_NE(ravlon.exitCode(), 0);
    EXPECT_TRUE(ravlon.readAllStandardError().contains("--list-device"));
}
