#include "support/recording_gl.h"
#include "support/recording_gl_entry.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

namespace bandscope::test {
namespace {

thread_local RecordingGl* active = nullptr;

bool digitAfter(std::string_view name, std::string_view prefix) {
  return name.size() > prefix.size() && name.starts_with(prefix) && name[prefix.size()] >= '1' &&
         name[prefix.size()] <= '4';
}

// GL 1.1 takes only per-vertex data between glBegin and glEnd. It would also take lists
// of such data, but text lists hold bitmaps, so glCallLists there is treated as misuse.
bool allowedInPrimitive(std::string_view name) {
  static const std::set<std::string_view> exact{
      "glEnd",       "glEdgeFlag",   "glEdgeFlagv", "glArrayElement", "glMaterialf", "glMaterialfv",
      "glMateriali", "glMaterialiv", "glIndexd",    "glIndexf",       "glIndexi",    "glIndexs",
      "glIndexub",   "glIndexdv",    "glIndexfv",   "glIndexiv",      "glIndexsv",   "glIndexubv"};
  return exact.contains(name) || digitAfter(name, "glVertex") || digitAfter(name, "glColor") ||
         digitAfter(name, "glNormal") || digitAfter(name, "glTexCoord") ||
         digitAfter(name, "glEvalCoord") || digitAfter(name, "glEvalPoint");
}

// Commands that run at once even while a display list is being compiled.
bool compilable(std::string_view name) {
  static const std::set<std::string_view> immediate{"glGenLists",
                                                    "glDeleteLists",
                                                    "glNewList",
                                                    "glEndList",
                                                    "glPixelStorei",
                                                    "glPixelStoref",
                                                    "glReadPixels",
                                                    "glFinish",
                                                    "glFlush",
                                                    "glRenderMode",
                                                    "glFeedbackBuffer",
                                                    "glSelectBuffer",
                                                    "glEnableClientState",
                                                    "glDisableClientState",
                                                    "glVertexPointer",
                                                    "glColorPointer"};
  return !(name.starts_with("glGet") || name.starts_with("glIs") || immediate.contains(name));
}

std::string joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "; ") + p;
  return out;
}

}  // namespace

auto RecordingGl::Entry::semanticsOf(std::string_view name) -> Semantics {
  // Every group's handlers in one map, built at the first call.
  static const Handlers handlers = [] {
    Handlers all;
    for (Handlers (*group)() : {&primitiveHandlers, &transformHandlers, &stateHandlers,
                                &listHandlers, &rasterHandlers, &pixelHandlers, &arrayHandlers}) {
      all.merge(group());
    }
    return all;
  }();
  Semantics s;
  s.compiled = compilable(name);
  s.inPrimitive = allowedInPrimitive(name);
  if (const auto it = handlers.find(name); it != handlers.end()) {
    s.capture = it->second.first;
    s.run = it->second.second;
  }
  return s;
}

auto RecordingGl::Entry::execute(RecordingGl& gl, const GlCall& call, const Semantics& s, void* out,
                                 int depth) -> Answer {
  if (gl.open_ && !s.inPrimitive) {
    return misuse(
        gl, call,
        call.name == "glBegin" ? "nested glBegin" : "not allowed between glBegin and glEnd");
  }
  if (call.name != "glCallLists") gl.executed_.push_back(call);
  return s.run != nullptr ? s.run(gl, call, out, depth) : Answer{};
}

auto RecordingGl::Entry::dispatch(const Semantics& s, GlCall call, const Pointers& p) -> Answer {
  RecordingGl* gl = active;
  if (gl == nullptr) {
    ADD_FAILURE() << call.name << " called with no RecordingGl active";
    return {};
  }
  if (s.capture != nullptr) s.capture(*gl, call, p.in);
  call.colour = gl->colour_;
  const bool compiling = gl->compiling_ != 0 && s.compiled;
  if (compiling) {
    call.list = gl->compiling_;
    gl->compiled_.push_back(call);
  }
  gl->record_.push_back(std::move(call));
  if (compiling && gl->compileMode_ == GL_COMPILE) return {};
  return execute(*gl, gl->record_.back(), s, p.out, 0);
}

template <typename T>
void RecordingGl::Entry::collect(GlCall& call, Pointers& p, T value) {
  if constexpr (!std::is_pointer_v<T>) {
    call.args.push_back(static_cast<double>(value));
  } else if constexpr (std::is_const_v<std::remove_pointer_t<T>>) {
    p.in = value;
  } else {
    p.out = value;
  }
}

template <typename R, typename... A>
R RecordingGl::Entry::relay(const char* name, const Semantics& s, A... a) {
  GlCall call;
  call.name = name;
  Pointers p;
  (collect(call, p, a), ...);
  [[maybe_unused]] const Answer answer = dispatch(s, std::move(call), p);
  if constexpr (std::is_pointer_v<R>) {
    return static_cast<R>(answer.pointer);
  } else if constexpr (!std::is_void_v<R>) {
    return static_cast<R>(answer.number);
  }
}

const GlTable& RecordingGl::Entry::table() {
  static const GlTable t = [] {
    GlTable g;
    // The closure converts to the entry's pointer type, which fixes its parameters.
#define BANDSCOPE_RECORD(ret, name, params)        \
  g.name = [](auto... a) -> ret {                  \
    static const Semantics s = semanticsOf(#name); \
    return relay<ret>(#name, s, a...);             \
  };
    BANDSCOPE_GL_ENTRY_POINTS(BANDSCOPE_RECORD)
    BANDSCOPE_GLU_ENTRY_POINTS(BANDSCOPE_RECORD)
#undef BANDSCOPE_RECORD
    return g;
  }();
  return t;
}

RecordingGl::RecordingGl(std::source_location where) : where_(where), previous_(active) {
  strings_ = {{GL_VENDOR, "bandscope tests"},
              {GL_RENDERER, "RecordingGl"},
              {GL_VERSION, "1.1.0"},
              {GL_EXTENSIONS, ""}};
  active = this;
}

RecordingGl::~RecordingGl() {
  expectBalanced(where_);
  if (active != this) fail("RecordingGl destroyed while a later one is still active");
  active = previous_;
}

const GlTable& RecordingGl::table() const {
  return Entry::table();
}

std::vector<GlCall> RecordingGl::calls(std::string_view name) const {
  std::vector<GlCall> out;
  for (const GlCall& c : record_) {
    if (c.name == name) out.push_back(c);
  }
  return out;
}

std::size_t RecordingGl::count(std::string_view name) const {
  std::size_t n = 0;
  for (const GlCall& c : record_) n += c.name == name ? 1 : 0;
  return n;
}

std::vector<GlCall> RecordingGl::expanded(std::string_view name) const {
  std::vector<GlCall> out;
  for (const GlCall& c : executed_) {
    if (c.name == name) out.push_back(c);
  }
  return out;
}

const std::vector<Block>& RecordingGl::blocks(GLenum mode) const {
  static const std::vector<Block> none;
  const auto it = blocksByMode_.find(mode);
  return it != blocksByMode_.end() ? it->second : none;
}

void RecordingGl::clear() {
  record_.clear();
  executed_.clear();
  blocks_.clear();
  blocksByMode_.clear();
  if (open_) open_->vertices.clear();
}

void RecordingGl::expectBalanced(std::source_location where) const {
  std::vector<std::string> problems;
  if (open_) problems.push_back("glBegin(" + std::to_string(open_->mode) + ") without glEnd");
  if (compiling_ != 0) {
    problems.push_back("glNewList(" + std::to_string(compiling_) + ") without glEndList");
  }
  // An array left on would let a later glDrawArrays read through a stale pointer.
  for (const GLenum array : clientEnabled_) {
    problems.push_back("client array " + std::to_string(array) + " left enabled");
  }
  const std::pair<int, const char*> stacks[] = {{modelView_, "model-view matrix"},
                                                {projection_, "projection matrix"},
                                                {texture_, "texture matrix"},
                                                {attribDepth(), "attribute"}};
  for (const auto& [depth, name] : stacks) {
    if (depth != 0) {
      problems.push_back(std::string(name) + " stack " + std::to_string(depth) +
                         " push(es) above its base");
    }
  }
  if (!problems.empty()) {
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
        << "GL left unbalanced: " << joined(problems);
  }
}

std::optional<GLenum> RecordingGl::openPrimitive() const {
  return open_ ? std::optional<GLenum>(open_->mode) : std::nullopt;
}

std::optional<GLuint> RecordingGl::compilingList() const {
  return compiling_ != 0 ? std::optional<GLuint>(compiling_) : std::nullopt;
}

std::vector<GlCall> RecordingGl::listCalls(GLuint list) const {
  const auto it = lists_.find(list);
  return it != lists_.end() ? it->second : std::vector<GlCall>{};
}

void RecordingGl::setString(GLenum name, std::string text) {
  strings_[name] = std::move(text);
}

void RecordingGl::fail(const std::string& message) const {
  ADD_FAILURE_AT(where_.file_name(), static_cast<int>(where_.line())) << message;
}

std::ostream& operator<<(std::ostream& out, const Colour& c) {
  return out << "(" << c.red << ", " << c.green << ", " << c.blue << ")";
}

std::ostream& operator<<(std::ostream& out, const Vertex& v) {
  return out << "(" << v.x << ", " << v.y << ", " << v.z << ") colour " << v.colour;
}

std::ostream& operator<<(std::ostream& out, const GlCall& call) {
  out << call.name << "(";
  for (std::size_t i = 0; i < call.args.size(); ++i) out << (i ? ", " : "") << call.args[i];
  out << ")";
  if (!call.bytes.empty()) out << " \"" << call.bytes << "\"";
  if (!call.bitmap.empty()) out << " [" << call.bitmap.size() << " bitmap bytes]";
  if (call.list != 0) out << " in list " << call.list;
  return out;
}

}  // namespace bandscope::test
