#pragma once
// For tests that talk to other X clients: this program must go on serving
// its own events (it may own a selection another client asks for) while it
// waits for a condition or for a command to finish.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <functional>
#include <string>

namespace px::test {

// Serves events while the condition is false; false when it stays false for
// the whole wait.
inline bool waitFor(const std::function<bool()>& condition, int ms = 30000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

// Runs a shell command while serving events. Returns the exit status; the
// standard output (bytes as they are) goes to *out.
inline int run(const std::string& command, std::string* out = nullptr) {
  QProcess p;
  p.start("bash", {"-c", QString::fromStdString(command)});
  if (!p.waitForStarted()) return -1;
  if (!waitFor([&] { return p.state() == QProcess::NotRunning; }, 20000)) {
    p.kill();
    p.waitForFinished();
    return -1;
  }
  if (out) {
    const QByteArray bytes = p.readAllStandardOutput();
    out->assign(bytes.constData(), static_cast<size_t>(bytes.size()));
  }
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

}  // namespace px::test
