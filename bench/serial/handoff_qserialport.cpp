// The comparison reader: QSerialPort on a pseudo-terminal, bytes taken in its
// readyRead handler on the event loop's thread.
#include <QCoreApplication>
#include <QSerialPort>
#include <QTimer>
#include <thread>

#include "bench/serial/handoff_runs.h"

namespace quorvane::bench {

std::optional<std::vector<double>> RunQSerialPortHandoff(std::size_t count,
                                                         std::chrono::microseconds gap,
                                                         std::string* error) {
  Pty pty;
  if (!Pty::Make(pty)) {
    *error = "no pseudo-terminal";
    return std::nullopt;
  }
  QCoreApplication* app = QCoreApplication::instance();
  QSerialPort port(QString::fromStdString(pty.slavePath));
  port.setBaudRate(QSerialPort::Baud9600);
  port.setDataBits(QSerialPort::Data8);
  port.setParity(QSerialPort::NoParity);
  port.setStopBits(QSerialPort::OneStop);
  port.setFlowControl(QSerialPort::NoFlowControl);
  if (!port.open(QIODevice::ReadWrite)) {
    *error =
        "QSerialPort could not open " + pty.slavePath + ": " + port.errorString().toStdString();
    return std::nullopt;
  }
  Arrivals arrivals;
  QObject::connect(&port, &QSerialPort::readyRead, [&] {
    // Each byte is handled where it is read, as the link's owner handles it.
    for (char byte : port.readAll()) {
      (void)byte;
      arrivals.Record();
    }
  });
  std::vector<Clock::time_point> sent;
  std::thread feeder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sent = FeedBytes(pty.master.Get(), count, arrivals, gap);
    arrivals.WaitFor(sent.size());
    QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
  });
  app->exec();
  feeder.join();
  port.close();
  return Latencies(sent, arrivals);
}

}  // namespace quorvane::bench
