// A stand-in for libusb-1.0, preloaded (LD_PRELOAD) into the printer app under test: one USB
// printer (interface class 7, subclass 1, unidirectional, one bulk OUT endpoint) that answers
// the printer class's GET_DEVICE_ID request, has a serial number, and can be unplugged and
// plugged in again by the test. Only what the app's libraries call is provided.
//   QX_USB_STANDIN_OUTPUT        file that the printer's bulk writes are appended to
//   QX_USB_STANDIN_UNPLUGGED     while this file exists the printer is unplugged: it is absent
//                                from the device list and every transfer fails NO_DEVICE
//   QX_USB_STANDIN_UNPLUG_AFTER  file holding a byte count: once an opened printer has taken
//                                that many bytes it is unplugged (the file above is made) and
//                                this file removed, so that it happens once
//   QX_USB_STANDIN_DEVICE_ID     the IEEE 1284 device ID (a label printer's by default)
#include <fcntl.h>
#include <libusb.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

struct libusb_device {
  int unused;
};

struct libusb_device_handle {
  unsigned long long written;
  bool gone;  // unplugged since it was opened: a handle never works again
};

namespace {

libusb_device g_printer{};
std::mutex g_lock;

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

bool Unplugged() {
  const char* control = Env("QX_USB_STANDIN_UNPLUGGED");
  struct stat info;
  return control && stat(control, &info) == 0;
}

void Unplug() {
  if (const char* control = Env("QX_USB_STANDIN_UNPLUGGED")) {
    const int fd = open(control, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
  }
}

// The armed byte count, or -1 when none is armed.
long long UnplugAfter() {
  const char* armed = Env("QX_USB_STANDIN_UNPLUG_AFTER");
  FILE* file = armed ? std::fopen(armed, "r") : nullptr;
  if (!file) return -1;
  long long bytes = -1;
  if (std::fscanf(file, "%lld", &bytes) != 1) bytes = -1;
  std::fclose(file);
  return bytes;
}

bool Append(const unsigned char* data, size_t size) {
  const char* output = Env("QX_USB_STANDIN_OUTPUT");
  if (!output) return true;
  FILE* file = std::fopen(output, "ab");
  if (!file) return false;
  const bool ok = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

const char* DeviceId() {
  const char* id = Env("QX_USB_STANDIN_DEVICE_ID");
  return id ? id : "MFG:QXVN;MDL:Label Printer;CMD:QXVN;";
}

}  // namespace

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** context) {
  if (context) *context = nullptr;
  return 0;
}

const char* LIBUSB_CALL libusb_strerror(int code) {
  switch (code) {
    case LIBUSB_SUCCESS:
      return "Success";
    case LIBUSB_ERROR_IO:
      return "Input/Output Error";
    case LIBUSB_ERROR_NO_DEVICE:
      return "No such device (it may have been disconnected)";
    case LIBUSB_ERROR_NOT_FOUND:
      return "Entity not found";
    case LIBUSB_ERROR_TIMEOUT:
      return "Operation timed out";
    case LIBUSB_ERROR_PIPE:
      return "Pipe error";
    case LIBUSB_ERROR_NO_MEM:
      return "Insufficient memory";
    default:
      return "Other error";
  }
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context*, libusb_device*** list) {
  const bool present = !Unplugged();
  *list = static_cast<libusb_device**>(std::calloc(2, sizeof(libusb_device*)));
  if (!*list) return LIBUSB_ERROR_NO_MEM;
  if (present) (*list)[0] = &g_printer;
  return present ? 1 : 0;
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int) { std::free(list); }
libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* device) { return device; }
void LIBUSB_CALL libusb_unref_device(libusb_device*) {}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device*, struct libusb_device_descriptor* descriptor) {
  *descriptor = {};
  descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
  descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
  descriptor->bcdUSB = 0x0200;
  descriptor->bMaxPacketSize0 = 64;
  descriptor->idVendor = 0x1d6b;  // Linux Foundation's: no real printer's
  descriptor->idProduct = 0x7a01;
  descriptor->bcdDevice = 0x0100;
  descriptor->iManufacturer = 1;
  descriptor->iProduct = 2;
  descriptor->iSerialNumber = 3;
  descriptor->bNumConfigurations = 1;
  return 0;
}

int LIBUSB_CALL libusb_get_config_descriptor(libusb_device*, uint8_t index,
                                             struct libusb_config_descriptor** config) {
  if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
  // One block: configuration, interface, alternate setting, endpoint.
  struct Block {
    libusb_config_descriptor config;
    libusb_interface interface;
    libusb_interface_descriptor setting;
    libusb_endpoint_descriptor endpoint;
  };
  auto* block = static_cast<Block*>(std::calloc(1, sizeof(Block)));
  if (!block) return LIBUSB_ERROR_NO_MEM;
  block->endpoint.bLength = LIBUSB_DT_ENDPOINT_SIZE;
  block->endpoint.bDescriptorType = LIBUSB_DT_ENDPOINT;
  block->endpoint.bEndpointAddress = 0x01 | LIBUSB_ENDPOINT_OUT;
  block->endpoint.bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
  block->endpoint.wMaxPacketSize = 512;
  block->setting.bLength = LIBUSB_DT_INTERFACE_SIZE;
  block->setting.bDescriptorType = LIBUSB_DT_INTERFACE;
  block->setting.bNumEndpoints = 1;
  block->setting.bInterfaceClass = LIBUSB_CLASS_PRINTER;
  block->setting.bInterfaceSubClass = 1;
  block->setting.bInterfaceProtocol = 1;
  block->setting.endpoint = &block->endpoint;
  block->interface.altsetting = &block->setting;
  block->interface.num_altsetting = 1;
  block->config.bLength = LIBUSB_DT_CONFIG_SIZE;
  block->config.bDescriptorType = LIBUSB_DT_CONFIG;
  block->config.bNumInterfaces = 1;
  block->config.bConfigurationValue = 1;
  block->config.interface = &block->interface;
  *config = &block->config;
  return 0;
}

void LIBUSB_CALL libusb_free_config_descriptor(struct libusb_config_descriptor* config) { std::free(config); }

int LIBUSB_CALL libusb_open(libusb_device*, libusb_device_handle** handle) {
  if (Unplugged()) return LIBUSB_ERROR_NO_DEVICE;
  *handle = new (std::nothrow) libusb_device_handle{0, false};
  return *handle ? 0 : LIBUSB_ERROR_NO_MEM;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* handle) { delete handle; }

static bool Gone(libusb_device_handle* handle) {
  if (Unplugged()) handle->gone = true;
  return handle->gone;
}

int LIBUSB_CALL libusb_kernel_driver_active(libusb_device_handle* handle, int) {
  return Gone(handle) ? LIBUSB_ERROR_NO_DEVICE : 0;
}
int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* handle, int) {
  return Gone(handle) ? LIBUSB_ERROR_NO_DEVICE : LIBUSB_ERROR_NOT_FOUND;
}
int LIBUSB_CALL libusb_set_configuration(libusb_device_handle* handle, int configuration) {
  return Gone(handle) ? LIBUSB_ERROR_NO_DEVICE : configuration == 1 ? 0 : LIBUSB_ERROR_NOT_FOUND;
}
int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle, int number) {
  return Gone(handle) ? LIBUSB_ERROR_NO_DEVICE : number == 0 ? 0 : LIBUSB_ERROR_NOT_FOUND;
}
int LIBUSB_CALL libusb_set_interface_alt_setting(libusb_device_handle* handle, int number, int setting) {
  return Gone(handle) ? LIBUSB_ERROR_NO_DEVICE : number == 0 && setting == 0 ? 0 : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                                        uint16_t, uint16_t index, unsigned char* data, uint16_t length,
                                        unsigned int) {
  if (Gone(handle)) return LIBUSB_ERROR_NO_DEVICE;
  constexpr uint8_t kStandardToHost = 0x80;  // to the host, standard, of the device
  constexpr uint8_t kClassToHost = 0xa1;     // to the host, of the class, of an interface
  if (requestType == kStandardToHost && request == LIBUSB_REQUEST_GET_CONFIGURATION && length >= 1) {
    data[0] = 1;
    return 1;
  }
  if (requestType == kClassToHost && request == 0 && (index >> 8) == 0) {  // GET_DEVICE_ID
    const std::string id = DeviceId();
    const size_t total = std::min<size_t>(id.size() + 2, length);
    if (total < 2) return LIBUSB_ERROR_OVERFLOW;
    data[0] = static_cast<unsigned char>((id.size() + 2) >> 8);  // big-endian, its own 2 bytes included
    data[1] = static_cast<unsigned char>(id.size() + 2);
    std::memcpy(data + 2, id.data(), total - 2);
    return static_cast<int>(total);
  }
  if (requestType == kClassToHost && request == 1 && length >= 1) {  // GET_PORT_STATUS
    data[0] = 0x18;                                                  // selected, no error
    return 1;
  }
  return LIBUSB_ERROR_PIPE;
}

int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                                   unsigned char* data, int length) {
  if (Gone(handle)) return LIBUSB_ERROR_NO_DEVICE;
  const char* strings[] = {nullptr, "QXVN", "Label Printer", "QX-STANDIN-1"};
  if (index == 0 || index > 3 || length <= 0) return LIBUSB_ERROR_INVALID_PARAM;
  const int size = std::min(static_cast<int>(std::strlen(strings[index])), length - 1);
  std::memcpy(data, strings[index], static_cast<size_t>(size));
  data[size] = '\0';
  return size;
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                     unsigned char* data, int length, int* transferred, unsigned int) {
  std::lock_guard<std::mutex> hold(g_lock);
  *transferred = 0;
  if (Gone(handle)) return LIBUSB_ERROR_NO_DEVICE;
  if ((endpoint & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN || length < 0) return LIBUSB_ERROR_PIPE;
  size_t taken = static_cast<size_t>(length);
  const long long after = UnplugAfter();
  const bool unplugs = after >= 0 && handle->written + taken > static_cast<unsigned long long>(after);
  if (unplugs)
    taken = static_cast<size_t>(after) > handle->written ? static_cast<size_t>(after) - handle->written : 0;
  if (!Append(data, taken)) return LIBUSB_ERROR_IO;
  handle->written += taken;
  *transferred = static_cast<int>(taken);
  if (!unplugs) return 0;
  Unplug();
  std::remove(Env("QX_USB_STANDIN_UNPLUG_AFTER"));
  handle->gone = true;
  return LIBUSB_ERROR_NO_DEVICE;
}

}  // extern "C"
