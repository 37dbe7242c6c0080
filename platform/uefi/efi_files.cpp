// Files through the Shell protocol: names resolve as at the Shell prompt,
// against the current directory and the file system mappings (fw.bin,
// sub\fw.bin, fs1:\fw.bin).
#include "platform/uefi/efi_bridge.h"
#include "platform/uefi/efi_context.h"

void* EfiFileOpen(const char16_t* name) {
  if (gEfiShell == nullptr) return nullptr;
  SHELL_FILE_HANDLE handle = nullptr;
  const EFI_STATUS status =
      gEfiShell->OpenFileByName(reinterpret_cast<const CHAR16*>(name), &handle, EFI_FILE_MODE_READ);
  if (EFI_ERROR(status) || handle == nullptr) return nullptr;

  // A directory opens too, but reading it gives directory entries, not an
  // image.
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
