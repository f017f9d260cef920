#ifdef _WIN32
#include "ui/associations/Win32RegistryKeyStore.h"

#include <windows.h>

#include <cwchar>

namespace larkspan {

namespace {

const wchar_t kUserClasses[] = L"Software\\Classes\\";

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                        nullptr);
    return text;
}

std::string SystemMessage(LONG code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string message = length ? Narrow(std::wstring(buffer, length)) : "error " + std::to_string(code);
    LocalFree(buffer);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
    return message;
}

}  // namespace

bool Win32RegistryKeyStore::SetValue(const std::string& key, const std::string& name, unsigned long type,
                                     const void* data, unsigned long size) {
    const std::wstring path = kUserClasses + Wide(key);
    HKEY handle = nullptr;
    LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    if (result == ERROR_SUCCESS) {
        const std::wstring valueName = Wide(name);
        result = RegSetValueExW(handle, name.empty() ? nullptr : valueName.c_str(), 0, type,
                                static_cast<const BYTE*>(data), size);
        RegCloseKey(handle);
    }
    if (result != ERROR_SUCCESS) {
        lastError_ = "cannot write HKEY_CURRENT_USER\\Software\\Classes\\" + key + ": " + SystemMessage(result);
        return false;
    }
    return true;
}

bool Win32RegistryKeyStore::SetDefaultString(const std::string& key, const std::string& text) {
    const std::wstring wide = Wide(text);
    return SetValue(key, "", REG_SZ, wide.c_str(), static_cast<unsigned long>((wide.size() + 1) * sizeof(wchar_t)));
}

bool Win32RegistryKeyStore::SetBinaryValue(const std::string& key, const std::string& name,
                                           const std::vector<uint8_t>& bytes) {
    return SetValue(key, name, REG_BINARY, bytes.data(), static_cast<unsigned long>(bytes.size()));
}

std::optional<std::string> Win32RegistryKeyStore::ReadDefaultString(const std::string& key) const {
    const std::wstring path = Wide(key);
    DWORD size = 0;
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(wcsnlen(value.c_str(), value.size()));
    return Narrow(value);
}

bool Win32RegistryKeyStore::KeyExists(const std::string& key) const {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, Wide(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

}  // namespace larkspan
#endif
