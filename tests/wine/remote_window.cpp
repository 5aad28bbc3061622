#include "tests/wine/remote_window.h"

#include <windows.h>
// windows.h first: commctrl.h builds on it.
#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace vantrel::wine_test {

namespace {

struct WindowQuery {
  DWORD pid;
  const char* window_class;
  const std::string* caption;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM raw) {
  auto* query = reinterpret_cast<WindowQuery*>(raw);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != query->pid) return TRUE;
  if (query->window_class != nullptr && ClassName(window) != query->window_class) return TRUE;
  if (WindowText(window) != *query->caption) return TRUE;
  query->found = window;
  return FALSE;
}

// A block of memory in another process, freed on scope exit.
class RemoteBuffer {
 public:
  RemoteBuffer(DWORD pid, std::size_t size)
      : process_(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid)) {
    if (process_ != nullptr) {
      address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
  }
  ~RemoteBuffer() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool ok() const { return address_ != nullptr; }
  char* at(std::size_t offset) const { return static_cast<char*>(address_) + offset; }
  bool Write(std::size_t offset, const void* data, std::size_t size) {
    return WriteProcessMemory(process_, at(offset), data, size, nullptr) != 0;
  }
  bool Read(std::size_t offset, void* data, std::size_t size) {
    return ReadProcessMemory(process_, at(offset), data, size, nullptr) != 0;
  }

 private:
  HANDLE process_;
  void* address_ = nullptr;
};

constexpr std::size_t kCellBuffer = 1024;

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, int bound_ms) {
  DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > static_cast<DWORD>(bound_ms)) return condition();
    Sleep(20);
  }
  return true;
}

HWND FindProcessWindow(DWORD pid, const char* window_class, const std::string& caption) {
  WindowQuery query{pid, window_class, &caption, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

std::string WindowText(HWND window) {
  // WM_GETTEXT is carried across processes; GetWindowText would not ask
  // another process's window at all.
  char text[4096] = "";
  LRESULT got = SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return std::string(text, got > 0 ? static_cast<std::size_t>(got) : 0);
}

std::string ClassName(HWND window) {
  char name[256] = "";
  int got = GetClassNameA(window, name, sizeof name);
  return std::string(name, got > 0 ? static_cast<std::size_t>(got) : 0);
}

std::string ListCellText(HWND list, DWORD pid, int row, int column) {
  RemoteBuffer remote(pid, sizeof(LVITEMA) + kCellBuffer);
  if (!remote.ok()) return "<no remote buffer>";
  LVITEMA item{};
  item.iSubItem = column;
  item.cchTextMax = static_cast<int>(kCellBuffer);
  item.pszText = remote.at(sizeof(LVITEMA));
  std::vector<char> text(kCellBuffer, '\0');
  if (!remote.Write(0, &item, sizeof item) || !remote.Write(sizeof(LVITEMA), text.data(), text.size())) {
    return "<remote write failed>";
  }
  LRESULT length = SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.at(0)));
  if (!remote.Read(sizeof(LVITEMA), text.data(), text.size())) return "<remote read failed>";
  return std::string(text.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

LPARAM ListItemData(HWND list, DWORD pid, int row) {
  RemoteBuffer remote(pid, sizeof(LVITEMA));
  if (!remote.ok()) return -1;
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  item.lParam = -1;
  if (!remote.Write(0, &item, sizeof item)) return -1;
  SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.at(0)));
  if (!remote.Read(0, &item, sizeof item)) return -1;
  return item.lParam;
}

LRESULT SendWithRemoteData(HWND window, DWORD pid, UINT message, WPARAM first, void* data, std::size_t size) {
  RemoteBuffer remote(pid, size);
  if (!remote.ok() || !remote.Write(0, data, size)) return 0;
  LRESULT result = SendMessageA(window, message, first, reinterpret_cast<LPARAM>(remote.at(0)));
  return remote.Read(0, data, size) ? result : 0;
}

bool SaveWindowBitmap(HWND window, const std::string& path) {
  RECT frame;
  if (!GetWindowRect(window, &frame)) return false;
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as BMP files store it
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  int stride = (width * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  int lines = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                        reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (lines != height) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  bytes.append(pixels.data(), pixels.size());
  return WriteWholeFile(path, bytes);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string Visible(const std::string& text) {
  std::string shown;
  for (unsigned char c : text) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c < 0x20 || c >= 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", c);
      shown += code;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

}  // namespace vantrel::wine_test
