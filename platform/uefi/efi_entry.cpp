// The application's entry: keeps the system table, finds the Shell and its
// arguments for this image, runs the tool and returns its exit code as the
// image's status (the Shell shows it as %lasterror%, e.g. 0x7).
#include "platform/uefi/efi_bridge.h"
#include "platform/uefi/efi_context.h"

EFI_SYSTEM_TABLE* gEfiSystemTable = nullptr;
EFI_SHELL_PROTOCOL* gEfiShell = nullptr;

namespace {

// Started some other way (from a boot option, say) there are no arguments:
// the tool then shows its usage text.
const char16_t* const kNoShellArguments[] = {u"VEXA"};

template <typename Interface>
Interface* LocateProtocol(EFI_GUID guid) {
  void* found = nullptr;
  if (EFI_ERROR(gEfiSystemTable->BootServices->LocateProtocol(&guid, nullptr, &found))) return nullptr;
  return static_cast<Interface*>(found);
}

EFI_SHELL_PARAMETERS_PROTOCOL* ShellParameters(EFI_HANDLE image) {
  EFI_GUID guid = EFI_SHELL_PARAMETERS_PROTOCOL_GUID;
  void* found = nullptr;
  const EFI_STATUS status = gEfiSystemTable->BootServices->OpenProtocol(
      image, &guid, &found, image, nullptr, EFI_OPEN_PROTOCOL_GET_PROTOCOL);
  if (EFI_ERROR(status)) return nullptr;
  return static_cast<EFI_SHELL_PARAMETERS_PROTOCOL*>(found);
}

}  // namespace

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE image, EFI_SYSTEM_TABLE* systemTable) {
  gEfiSystemTable = systemTable;
  gEfiShell = LocateProtocol<EFI_SHELL_PROTOCOL>(EFI_SHELL_PROTOCOL_GUID);

  unsigned long long argc = 1;
  const char16_t* const* argv = kNoShellArguments;
  if (const EFI_SHELL_PARAMETERS_PROTOCOL* parameters = ShellParameters(image)) {
    argc = parameters->Argc;
    argv = reinterpret_cast<const char16_t* const*>(parameters->Argv);
  }

  const int exitCode = RunToolWithShellArguments(argc, argv);
  if (exitCode < 0) {
    EfiConsoleOutput(u"VEXA: no memory for the command line.\r\n");
    return EFI_OUT_OF_RESOURCES;
  }
  return static_cast<EFI_STATUS>(exitCode);
}
