// Looks up a tty device's identity in the udev database, failing quietly.
#include "serial/posix/udev_handles.h"

#include <string_view>

namespace quorvane {
namespace {

std::string Property(udev_device* device, const char* key) {
  const char* value = udev_device_get_property_value(device, key);
  return value != nullptr ? value : "";
}

void Append(std::string& text, std::string_view label, const std::string& value) {
  if (value.empty()) return;
  if (!text.empty()) text += ", ";
  text.append(label).append(value);
}

}  // namespace

std::string UdevDetails(const std::string& kernelName) {
  UdevPtr context(udev_new());
  if (!context) return {};
  UdevDevicePtr device(
      udev_device_new_from_subsystem_sysname(context.get(), "tty", kernelName.c_str()));
  if (!device) return {};
  std::string byId;
  for (udev_list_entry* link = udev_device_get_devlinks_list_entry(device.get()); link;
       link = udev_list_entry_get_next(link)) {
    const std::string_view name = udev_list_entry_get_name(link);
    if (name.find("/serial/by-id/") != std::string_view::npos) {
      byId = name;
      break;
    }
  }
  std::string text;
  Append(text, "model ",
         Property(device.get(), "ID_MODEL_FROM_DATABASE").empty()
             ? Property(device.get(), "ID_MODEL")
             : Property(device.get(), "ID_MODEL_FROM_DATABASE"));
  Append(text, "vendor ",
         Property(device.get(), "ID_VENDOR_FROM_DATABASE").empty()
             ? Property(device.get(), "ID_VENDOR")
             : Property(device.get(), "ID_VENDOR_FROM_DATABASE"));
  Append(text, "serial ", Property(device.get(), "ID_SERIAL_SHORT"));
  Append(text, "", byId);
  return text;
}

}  // namespace quorvane
