// The state file's text form: one record per line, binary and text fields in hex so that
// no value needs escaping. Free of <windows.h>.

#include <algorithm>
#include <sstream>
#include <utility>

#include "tools/tokensim/sim_state.h"

namespace tokensim {

namespace {

constexpr size_t kEventsKept = 256;

std::string Hex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  if (bytes.empty()) return "-";
  std::string text;
  for (uint8_t b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unhex(const std::string& text, Bytes& out) {
  out.clear();
  if (text == "-") return true;
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = HexDigit(text[i]);
    int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return true;
}

bool ParseSlot(std::istringstream& in, SimSlot& slot) {
  std::string reader, label, atr, serial;
  int present = 0, initialized = 0;
  in >> slot.id >> present >> initialized >> reader >> label >> atr >> serial;
  slot.present = present != 0;
  slot.initialized = initialized != 0;
  return !in.fail() && Unhex(reader, slot.reader) && Unhex(label, slot.label) && Unhex(atr, slot.atr) &&
         Unhex(serial, slot.serial);
}

bool ParseObject(std::istringstream& in, SimObject& object) {
  std::string id, value, container, friendly, modulus;
  int hasId = 0, hasContainer = 0, encrypt = 0;
  in >> object.handle >> object.objectClass >> hasId >> hasContainer >> encrypt >> id >> value >> container >>
      friendly >> modulus;
  object.hasId = hasId != 0;
  object.hasContainer = hasContainer != 0;
  object.encrypt = encrypt != 0;
  return !in.fail() && Unhex(id, object.id) && Unhex(value, object.value) && Unhex(container, object.container) &&
         Unhex(friendly, object.friendly) && Unhex(modulus, object.modulus);
}

bool ParseLine(const std::string& line, SimState& state) {
  std::istringstream in(line);
  std::string kind;
  in >> kind;
  if (kind.empty()) return true;
  if (kind == "next") {
    in >> state.nextHandle >> state.nextSequence;
    int auxMissing = 0;
    int stubborn = 0;
    in >> auxMissing;
    if (in.fail()) return false;
    in >> stubborn;
    state.auxWaitMissing = auxMissing != 0;
    state.stubbornWait = stubborn != 0;
    return true;
  }
  if (kind == "fail") {
    SimFailure failure;
    in >> failure.call >> failure.rv >> failure.after >> failure.times;
    state.failures.push_back(failure);
    return !in.fail();
  }
  if (kind == "slot") {
    SimSlot slot;
    if (!ParseSlot(in, slot)) return false;
    state.slots.push_back(std::move(slot));
    return true;
  }
  if (kind == "object") {
    SimObject object;
    if (state.slots.empty() || !ParseObject(in, object)) return false;
    state.slots.back().objects.push_back(std::move(object));
    return true;
  }
  if (kind == "event") {
    SimEvent event;
    int hasData = 0;
    in >> event.sequence >> event.slot >> event.code >> event.data >> hasData;
    event.hasData = hasData != 0;
    state.events.push_back(event);
    return !in.fail();
  }
  if (kind == "waiter") {
    std::string name;
    in >> name;
    state.waiters.push_back(name);
    return !in.fail();
  }
  return false;
}

}  // namespace

const SimSlot* SimState::FindSlot(uint32_t id) const {
  auto it = std::find_if(slots.begin(), slots.end(), [id](const SimSlot& s) { return s.id == id; });
  return it == slots.end() ? nullptr : &*it;
}

SimSlot* SimState::FindSlot(uint32_t id) { return const_cast<SimSlot*>(std::as_const(*this).FindSlot(id)); }

const SimObject* SimState::FindObject(uint32_t slot, uint32_t handle) const {
  const SimSlot* entry = FindSlot(slot);
  if (entry == nullptr) return nullptr;
  auto it = std::find_if(entry->objects.begin(), entry->objects.end(),
                         [handle](const SimObject& o) { return o.handle == handle; });
  return it == entry->objects.end() ? nullptr : &*it;
}

SimObject* SimState::FindObject(uint32_t slot, uint32_t handle) {
  return const_cast<SimObject*>(std::as_const(*this).FindObject(slot, handle));
}

void SimState::Emit(uint32_t slot, uint32_t code, uint32_t data, bool hasData) {
  events.push_back({nextSequence++, slot, code, data, hasData});
  if (events.size() > kEventsKept) events.erase(events.begin(), events.end() - kEventsKept);
}

bool SimState::IsArmed(std::string_view call) const {
  return std::any_of(failures.begin(), failures.end(), [&](const SimFailure& f) { return f.call == call; });
}

uint32_t SimState::TakeFailure(std::string_view call) {
  auto it = std::find_if(failures.begin(), failures.end(), [&](const SimFailure& f) { return f.call == call; });
  if (it == failures.end()) return 0;
  if (it->after > 0) {
    --it->after;
    return 0;
  }
  uint32_t rv = it->rv;
  if (it->times > 0 && --it->times == 0) failures.erase(it);
  return rv;
}

std::string Serialise(const SimState& state) {
  std::ostringstream out;
  out << "next " << state.nextHandle << ' ' << state.nextSequence << ' ' << (state.auxWaitMissing ? 1 : 0) << ' '
      << (state.stubbornWait ? 1 : 0) << '\n';
  for (const SimFailure& f : state.failures) {
    out << "fail " << f.call << ' ' << f.rv << ' ' << f.after << ' ' << f.times << '\n';
  }
  for (const SimSlot& s : state.slots) {
    out << "slot " << s.id << ' ' << (s.present ? 1 : 0) << ' ' << (s.initialized ? 1 : 0) << ' ' << Hex(s.reader)
        << ' ' << Hex(s.label) << ' ' << Hex(s.atr) << ' ' << Hex(s.serial) << '\n';
    for (const SimObject& o : s.objects) {
      out << "object " << o.handle << ' ' << o.objectClass << ' ' << (o.hasId ? 1 : 0) << ' '
          << (o.hasContainer ? 1 : 0) << ' ' << (o.encrypt ? 1 : 0) << ' ' << Hex(o.id) << ' ' << Hex(o.value) << ' '
          << Hex(o.container) << ' ' << Hex(o.friendly) << ' ' << Hex(o.modulus) << '\n';
    }
  }
  for (const SimEvent& e : state.events) {
    out << "event " << e.sequence << ' ' << e.slot << ' ' << e.code << ' ' << e.data << ' ' << (e.hasData ? 1 : 0)
        << '\n';
  }
  for (const std::string& w : state.waiters) out << "waiter " << w << '\n';
  return out.str();
}

SimState Parse(const std::string& text) {
  SimState state;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!ParseLine(line, state)) return SimState{};
  }
  return state;
}

}  // namespace tokensim
