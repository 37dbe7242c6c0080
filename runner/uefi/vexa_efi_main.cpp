// VEXA.efi: the tool's entry in the UEFI Shell. efi_main
// (platform/uefi/efi_entry.cpp) hands over the Shell's 16-bit arguments;
// they are narrowed to the C-style argument list ToolMain takes.
#include "app/tool_main.h"
#include "platform/platform.h"
#include "platform/uefi/argument_text.h"
#include "platform/uefi/efi_bridge.h"

int RunToolWithShellArguments(unsigned long long argc, const char16_t* const* argv) {
  // The Shell's argument count is a UINTN; the tool's entry takes an int.
  if (argc > 0x10000) return -1;
  const size_t count = static_cast<size_t>(argc);

  // One block: the pointer array (with a closing null, as C programs get
  // it) followed by the texts.
  size_t bytes = (count + 1) * sizeof(char*);
  for (size_t i = 0; i < count; ++i) bytes += NarrowTextSize(argv[i] != nullptr ? argv[i] : u"");
  void* block = PlatformAllocate(bytes);
  if (block == nullptr) return -1;

  char** narrow = static_cast<char**>(block);
  char* text = reinterpret_cast<char*>(narrow + count + 1);
  for (size_t i = 0; i < count; ++i) {
    narrow[i] = text;
    text = NarrowText(argv[i] != nullptr ? argv[i] : u"", text);
  }
  narrow[count] = nullptr;

  const int exitCode = ToolMain(static_cast<int>(count), narrow);
  PlatformFree(block);
  return exitCode;
}
