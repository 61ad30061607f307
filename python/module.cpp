// quorvane._core: the board as quorvane-ctl talks to it, for the Python
// package around it (python/quorvane/__init__.py), which gives it its
// records, exceptions and iterators. Every wait runs with Python's lock
// released and ends on Ctrl-C with the port closed.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "ctl/exit_status.h"
#include "ctl/version.h"
#include "history/readings_csv.h"
#include "python/board_handle.h"

namespace py = pybind11;

namespace quorvane::python {
namespace {

using namespace std::chrono_literals;

// The wait on a thread of its own, while this one, holding Python's lock
// only between looks, asks Python whether Ctrl-C came: Python's handler runs
// on the main thread, and only when it is let run.
bool RunWait(const std::function<void()>& wait, const std::function<void()>& cutShort) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::exception_ptr error;
  std::thread worker([&] {
    try {
      wait();
    } catch (...) {
      error = std::current_exception();
    }
    const std::lock_guard<std::mutex> lock(mutex);
    done = true;
    finished.notify_all();
  });
  bool interrupted = false;
  for (;;) {
    {
      const py::gil_scoped_release release;
      std::unique_lock<std::mutex> lock(mutex);
      if (finished.wait_for(lock, 20ms, [&] { return done; })) break;
    }
    if (!interrupted && PyErr_CheckSignals() != 0) {
      // Raised again once the port is closed (status 130): a
      // KeyboardInterrupt that leaves the port open helps no one.
      PyErr_Clear();
      interrupted = true;
      cutShort();
    }
  }
  worker.join();
  if (error) std::rethrow_exception(error);
  return interrupted;
}

const char* KindName(FailureKind kind) {
  switch (kind) {
    case FailureKind::kStatus:
      return "";
    case FailureKind::kLimit:
      return "limit";
    case FailureKind::kClosed:
      return "closed";
    case FailureKind::kLost:
      return "lost";
  }
  return "";
}

// One call at a time on a board: a second thread waits its turn, with
// Python's lock released so the first can go on.
class PyBoard {
 public:
  PyBoard(std::string port, std::string deviceDirectory, LimitsSources limits)
      : m_handle(std::move(port), std::move(deviceDirectory), std::move(limits), RunWait) {}

  template <typename F>
  auto Locked(F f) {
    std::unique_lock<std::mutex> lock(m_mutex, std::defer_lock);
    {
      const py::gil_scoped_release release;
      lock.lock();
    }
    return f(m_handle);
  }

 private:
  std::mutex m_mutex;
  BoardHandle m_handle;
};

py::dict DeviceDict(const Snapshot& s) {
  const DeviceState& d = s.device;
  py::dict values;
  values["time_ms"] =
      std::chrono::duration_cast<std::chrono::milliseconds>(s.time.time_since_epoch()).count();
  values["current_mA"] = d.currentRead;
  values["seed_hundredths"] = d.seedTemp;
  values["pump_hundredths"] = d.pumpTemp;
  values["setpoint_mA"] = d.currentSetpoint;
  values["max_mA"] = d.currentMax;
  values["frequency_Hz"] = d.frequencyHz;
  values["duration_steps"] = static_cast<int>(d.pulseSteps);
  values["soft_active"] = d.softActive != 0;
  return values;
}

Reading ReadingFrom(std::int64_t timeMs, const py::dict& v) {
  DeviceState d;
  d.currentRead = v["current_mA"].cast<std::int32_t>();
  d.seedTemp = v["seed_hundredths"].cast<std::int32_t>();
  d.pumpTemp = v["pump_hundredths"].cast<std::int32_t>();
  d.currentSetpoint = v["setpoint_mA"].cast<std::int32_t>();
  d.currentMax = v["max_mA"].cast<std::int32_t>();
  d.frequencyHz = v["frequency_Hz"].cast<std::int32_t>();
  d.pulseSteps = static_cast<std::uint8_t>(v["duration_steps"].cast<int>());
  d.softActive = v["soft_active"].cast<bool>() ? 1 : 0;
  return ReadingOf(WallTime(std::chrono::milliseconds(timeMs)), d);
}

#ifdef QUORVANE_PYTHON_TEST_SEAM
std::string& TestLabFile() {
  static std::string file;
  return file;
}
#endif

LimitsSources SourcesFor(const std::string& stricter) {
  LimitsSources sources;
  sources.stricterFile = stricter;
#ifdef QUORVANE_PYTHON_TEST_SEAM
  // The test build's own lab file: the shipped module has no such seam.
  if (const std::string& lab = TestLabFile(); !lab.empty()) {
    sources.labFile = lab;
    sources.labFileMustBeRoots = false;
  }
#endif
  return sources;
}

}  // namespace
}  // namespace quorvane::python

PYBIND11_MODULE(_core, m) {
  using namespace quorvane;
  using namespace quorvane::python;
  m.doc() = "The board as quorvane-ctl talks to it; use the quorvane package, not this.";
  m.attr("__version__") = ctl::kVersion;

  // Failure(status, kind, message): status is quorvane-ctl's exit status,
  // kind "limit", "closed" or "lost" where it tells more, else "".
  static py::exception<Failure> failure(m, "Failure");
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const Failure& f) {
      if (f.Status() == ctl::kExitInterrupted) {
        PyErr_SetString(PyExc_KeyboardInterrupt, f.what());
        return;
      }
      py::object args = py::make_tuple(f.Status(), KindName(f.Kind()), f.what());
      PyErr_SetObject(failure.ptr(), args.ptr());
    }
  });

  m.def(
      "list_ports",
      [](const std::string& deviceDirectory) {
        std::vector<py::tuple> ports;
        for (const ListedPort& p : ListPorts(deviceDirectory))
          ports.push_back(py::make_tuple(p.name, p.details));
        return ports;
      },
      py::arg("device_directory"));
  m.def("default_device_directory", [] { return DefaultDeviceDirectory().string(); });
  m.def("csv_header", [] { return CsvHeader(); });
  m.def(
      "csv_row",
      [](std::int64_t timeMs, const py::dict& values) {
        return CsvRow(ReadingFrom(timeMs, values));
      },
      py::arg("time_ms"), py::arg("values"));
  m.def("lab_limits_path", [] { return LabLimitsPath(); });
#ifdef QUORVANE_PYTHON_TEST_SEAM
  m.def("_use_lab_file", [](const std::string& path) { TestLabFile() = path; });
#endif

  py::class_<PyBoard>(m, "Board")
      .def(py::init([](const std::string& port, const std::string& deviceDirectory,
                       const std::string& limits) {
             return std::make_unique<PyBoard>(port, deviceDirectory, SourcesFor(limits));
           }),
           py::arg("port"), py::arg("device_directory"), py::arg("limits"))
      .def("open", [](PyBoard& b) { b.Locked([](BoardHandle& h) { h.Open(); }); })
      .def("close", [](PyBoard& b) { b.Locked([](BoardHandle& h) { h.Close(); }); })
      .def_property_readonly(
          "is_open", [](PyBoard& b) { return b.Locked([](BoardHandle& h) { return h.IsOpen(); }); })
      .def_property_readonly(
          "port", [](PyBoard& b) { return b.Locked([](BoardHandle& h) { return h.PortName(); }); })
      .def("status",
           [](PyBoard& b) {
             const Snapshot s = b.Locked([](BoardHandle& h) { return h.Status(); });
             return DeviceDict(s);
           })
      .def(
          "set",
          [](PyBoard& b, const std::string& name, const std::string& text) {
            for (const SettingSpec& item : kSettings) {
              if (name == item.name)
                return b.Locked([&](BoardHandle& h) { return h.Set(item.setting, text); });
            }
            throw py::value_error("no setting named '" + name + "'");
          },
          py::arg("setting"), py::arg("text"))
      .def(
          "pause",
          [](PyBoard& b, double seconds) {
            const auto until = std::chrono::steady_clock::now() +
                               std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   std::chrono::duration<double>(seconds));
            b.Locked([&](BoardHandle& h) { h.PauseUntil(until); });
          },
          py::arg("seconds"))
      .def("limits", [](PyBoard& b) {
        return b.Locked([](BoardHandle& h) {
          py::dict limits;
          for (const LimitRow& row : LimitRows(h.Limits().limits))
            limits[row.key] = py::make_tuple(row.value, row.shown, row.source.Text());
          return py::make_tuple(h.Limits().unusable, limits);
        });
      });
}
