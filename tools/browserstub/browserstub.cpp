// A stand-in browser for tests: writes the number of its arguments and then each argument,
// one per line in UTF-8, to the file named by BROWSERSTUB_LOG, and stays up briefly so
// that a test can see its window closed or its process ended.

#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  wchar_t log[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"BROWSERSTUB_LOG", log, MAX_PATH) == 0) return 1;
  std::string text = std::to_string(argc - 1) + "\n";
  for (int i = 1; i < argc; ++i) {
    char line[4096] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, line, sizeof line - 1, nullptr, nullptr);
    text += std::string(line) + "\n";
  }
  FILE* file = _wfopen(log, L"ab");
  if (file == nullptr) return 1;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  ::Sleep(2000);
  return 0;
}
