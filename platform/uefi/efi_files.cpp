// Files through the Shell protocol: names resolve as at the Shell prompt,
// against the current directory and the file system mappings (fw.bin,
// sub\fw.bin, fs1:\fw.bin).
#include "platform/uefi/efi_bridge.h"
#include "platform/uefi/efi_context.h"

namespace {

// A directory opens too, but reading it gives directory entries, not an
// image, and writing it fails.
SHELL_FILE_HANDLE OpenNotDirectory(const char16_t* name, UINT64 openMode) {
  SHELL_FILE_HANDLE handle = nullptr;
  const EFI_STATUS status = gEfiShell->OpenFileByName(reinterpret_cast<const CHAR16*>(name), &handle, openMode);
  if (EFI_ERROR(status) || handle == nullptr) return nullptr;
  bool directory = false;
  if (EFI_FILE_INFO* info = gEfiShell->GetFileInfo(handle)) {
    directory = (info->Attribute & EFI_FILE_DIRECTORY) != 0;
    gEfiSystemTable->BootServices->FreePool(info);
  }
  if (directory) {
    gEfiShell->CloseFile(handle);
    return nullptr;
  }
  return handle;
}

}  // namespace

void* EfiFileOpen(const char16_t* name) {
  if (gEfiShell == nullptr) return nullptr;
  return OpenNotDirectory(name, EFI_FILE_MODE_READ);
}

void* EfiFileOpenWrite(const char16_t* name, bool replace, unsigned long long* length) {
  if (gEfiShell == nullptr) return nullptr;
  const UINT64 writeMode = EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE | EFI_FILE_MODE_CREATE;
  if (replace) {
    // Opening an existing file for writing keeps its length; a shorter new
    // content would leave the old tail behind it.
    if (SHELL_FILE_HANDLE old = OpenNotDirectory(name, EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE)) {
      // DeleteFile closes the handle, also when it fails.
      if (EFI_ERROR(gEfiShell->DeleteFile(old))) return nullptr;
    }
  }
  SHELL_FILE_HANDLE handle = OpenNotDirectory(name, writeMode);
  if (handle == nullptr) return nullptr;
  UINT64 size = 0;
  if (!replace) {
    if (EFI_ERROR(gEfiShell->GetFileSize(handle, &size)) || EFI_ERROR(gEfiShell->SetFilePosition(handle, size))) {
      gEfiShell->CloseFile(handle);
      return nullptr;
    }
  }
  *length = size;
  return handle;
}

unsigned long long EfiFileWriteChunk(void* handle, const void* buffer, unsigned long long count) {
  UINTN size = count;
  if (EFI_ERROR(gEfiShell->WriteFile(handle, &size, const_cast<void*>(buffer)))) return 0;
  return size;
}

bool EfiFileFlush(void* handle) { return !EFI_ERROR(gEfiShell->FlushFile(handle)); }

bool EfiFileSize(void* handle, unsigned long long* size) {
  UINT64 fileSize = 0;
  if (EFI_ERROR(gEfiShell->GetFileSize(handle, &fileSize))) return false;
  *size = fileSize;
  return true;
}

bool EfiFileSetPosition(void* handle, unsigned long long position) {
  return !EFI_ERROR(gEfiShell->SetFilePosition(handle, position));
}

unsigned long long EfiFileReadChunk(void* handle, void* buffer, unsigned long long count) {
  UINTN size = count;
  if (EFI_ERROR(gEfiShell->ReadFile(handle, &size, buffer))) return 0;
  return size;
}

void EfiFileClose(void* handle) { gEfiShell->CloseFile(handle); }
