#include "vsp/stl_writer.hpp"

#include "vsp/internal/atomic_file.hpp"

#include <charconv>
#include <cstring>

namespace orvanta::vsp {
namespace {

// Large enough to amortise the write calls, small enough not to matter in memory.
constexpr size_t kFlushBytes = 1 << 22;

class StlFormatter {
 public:
  explicit StlFormatter(std::string& out) : out_(out) {}

  void header(const std::string& name) { line("solid", name); }
  void footer(const std::string& name) { line("endsolid", name); }

  void facet(Vec3 a, Vec3 b, Vec3 c) {
    const Vec3 n = normalized(cross(b - a, c - a));
    literal(" facet normal  ");
    triple(n);
    literal("   outer loop\n");
    for (const Vec3& v : {a, b, c}) {
      literal("     vertex ");
      triple(v);
    }
    literal("   endloop\n endfacet\n");
  }

 private:
  void line(const char* keyword, const std::string& name) {
    out_ += keyword;
    if (!name.empty()) out_ += ' ' + name;
    out_ += '\n';
  }
  void literal(const char* s) { out_.append(s, std::strlen(s)); }
  void triple(Vec3 v) {
    char buf[96];
    char* p = buf;
    for (double x : {v.x, v.y, v.z}) {
      p = std::to_chars(p, buf + sizeof buf, x == 0.0 ? 0.0 : x, std::chars_format::scientific, 10).ptr;
      *p++ = ' ';
    }
    p[-1] = '\n';
    out_.append(buf, static_cast<size_t>(p - buf));
  }

  std::string& out_;
};

}  // namespace

std::string stl_text(const TriMesh& mesh, const std::string& solid_name) {
  std::string out;
  out.reserve(mesh.triangles.size() * 260 + 64);
  StlFormatter f(out);
  f.header(solid_name);
  for (const auto& t : mesh.triangles) f.facet(mesh.points[t[0]], mesh.points[t[1]], mesh.points[t[2]]);
  f.footer(solid_name);
  return out;
}

void write_stl(const std::string& path, const TriMesh& mesh, const std::string& solid_name) {
  internal::write_atomically(path, [&](std::FILE* file) {
    std::string buf;
    buf.reserve(kFlushBytes + 1024);
    StlFormatter f(buf);
    auto flush = [&] {
      const bool ok = std::fwrite(buf.data(), 1, buf.size(), file) == buf.size();
      buf.clear();
      return ok;
    };
    f.header(solid_name);
    for (const auto& t : mesh.triangles) {
      f.facet(mesh.points[t[0]], mesh.points[t[1]], mesh.points[t[2]]);
      if (buf.size() >= kFlushBytes && !flush()) return false;
    }
    f.footer(solid_name);
    return flush();
  });
}

}  // namespace orvanta::vsp
