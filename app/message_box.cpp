#include "app/message_box.h"

namespace tessard {

namespace {

int CallMessageBoxW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
  return ::MessageBoxW(owner, text, caption, style);
}

MessageBoxFunction messageBoxFunction = &CallMessageBoxW;

}  // namespace

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
  return messageBoxFunction(owner, text, caption, style);
}

MessageBoxFunction ReplaceMessageBoxFunction(MessageBoxFunction function) {
  MessageBoxFunction previous = messageBoxFunction;
  messageBoxFunction = function;
  return previous;
}

}  // namespace tessard
