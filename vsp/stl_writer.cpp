#include "vsp/stl_writer.hpp"

#include "vsp/internal/atomic_file.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace orvanta::vsp {
namespace {

// Large enough to amortise the write calls, small enough not to matter in memory.
constexpr size_t kFlushBytes = 1 << 22;
constexpr int kPow10Range = 320;

const char* two_digits(unsigned n) {
  static const char table[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  return table + 2 * n;
}

// Powers of ten, correctly rounded, indexed by exponent + kPow10Range; built before main so
// the formatting loop needs no initialisation check.
const std::array<double, 2 * kPow10Range + 1> kPowersOfTen = [] {
  std::array<double, 2 * kPow10Range + 1> t{};
  char buf[16];
  for (int e = -kPow10Range; e <= kPow10Range; ++e) {
    std::snprintf(buf, sizeof buf, "1e%d", e);
    t[e + kPow10Range] = std::strtod(buf, nullptr);
  }
  return t;
}();

// Five decimal digits of n < 100000, with leading zeros.
char* five_digits(std::uint32_t n, char* out) {
  const std::uint32_t a = n / 1000, b = n % 1000;
  std::memcpy(out, two_digits(a), 2);
  out[2] = static_cast<char>('0' + b / 100);
  std::memcpy(out + 3, two_digits(b % 100), 2);
  return out + 5;
}


// A number as "%.10e" prints it (11 significant digits), several times faster than printf:
// the STL of a dense model holds millions of them. The last digit may differ from printf's
// correctly rounded one (a few numbers in a hundred); the same double always gives the same
// text, which is what keeps shared corners shared.
char* format_number(double v, char* out) {
  if (v == 0.0) v = 0.0;  // no "-0"
  const double a = std::fabs(v);
  // Binary exponent straight from the bits, decimal exponent from it by 78913 / 2^18 ~ log10(2).
  const int e2 = static_cast<int>((std::bit_cast<std::uint64_t>(a) >> 52) & 0x7ff) - 1022;
  int e10 = ((e2 - 1) * 78913) >> 18;
  if (a == 0.0 || !std::isfinite(a) || e10 < -290 || e10 > 290) return out + std::snprintf(out, 32, "%.10e", v);
  const auto& p = kPowersOfTen;
  if (a >= p[e10 + 1 + kPow10Range]) ++e10;
  else if (a < p[e10 + kPow10Range]) --e10;
  std::uint64_t d = static_cast<std::uint64_t>(a * p[10 - e10 + kPow10Range] + 0.5);
  if (d >= 100000000000ULL) d = (d + 5) / 10, ++e10;
  if (v < 0) *out++ = '-';
  *out++ = static_cast<char>('0' + d / 10000000000ULL);
  *out++ = '.';
  const std::uint64_t rest = d % 10000000000ULL;
  out = five_digits(static_cast<std::uint32_t>(rest / 100000), out);
  out = five_digits(static_cast<std::uint32_t>(rest % 100000), out);
  *out++ = 'e';
  *out++ = e10 < 0 ? '-' : '+';
  unsigned e = static_cast<unsigned>(e10 < 0 ? -e10 : e10);
  if (e >= 100) *out++ = static_cast<char>('0' + e / 100), e %= 100;
  std::memcpy(out, two_digits(e), 2);
  return out + 2;
}

char* format_triple(Vec3 v, char* out) {
  out = format_number(v.x, out);
  *out++ = ' ';
  out = format_number(v.y, out);
  *out++ = ' ';
  out = format_number(v.z, out);
  *out++ = '\n';
  return out;
}

template <size_t N>
char* literal(char* out, const char (&s)[N]) {
  std::memcpy(out, s, N - 1);
  return out + N - 1;
}

// Facets of the mesh, each point's text formatted once and copied into every facet that uses it.
class FacetWriter {
 public:
  explicit FacetWriter(const TriMesh& mesh) : mesh_(mesh), text_(mesh.points.size() * kStride), length_(mesh.points.size()) {
    for (size_t i = 0; i < mesh.points.size(); ++i)
      length_[i] = static_cast<unsigned char>(format_triple(mesh.points[i], &text_[i * kStride]) - &text_[i * kStride]);
  }

  // Appends facet `t` to `out`, which must have kMaxFacet bytes free.
  char* facet(size_t t, char* out) const {
    const auto& tri = mesh_.triangles[t];
    const Vec3 a = mesh_.points[tri[0]], b = mesh_.points[tri[1]], c = mesh_.points[tri[2]];
    out = literal(out, " facet normal  ");
    out = format_triple(normalized(cross(b - a, c - a)), out);
    out = literal(out, "   outer loop\n");
    for (int k = 0; k < 3; ++k) {
      out = literal(out, "     vertex ");
      std::memcpy(out, &text_[tri[k] * kStride], length_[tri[k]]);
      out += length_[tri[k]];
    }
    return literal(out, "   endloop\n endfacet\n");
  }

  static constexpr size_t kStride = 64, kMaxFacet = 4 * kStride + 80;

 private:
  const TriMesh& mesh_;
  std::vector<char> text_;
  std::vector<unsigned char> length_;
};

std::string solid_line(const char* keyword, const std::string& name) {
  return std::string(keyword) + (name.empty() ? "" : " " + name) + "\n";
}

}  // namespace

std::string stl_text(const TriMesh& mesh, const std::string& solid_name) {
  const FacetWriter facets(mesh);
  std::string out = solid_line("solid", solid_name);
  size_t used = out.size();
  out.resize(used + mesh.triangles.size() * FacetWriter::kMaxFacet);
  for (size_t t = 0; t < mesh.triangles.size(); ++t) used = facets.facet(t, &out[used]) - out.data();
  out.resize(used);
  return out + solid_line("endsolid", solid_name);
}

void write_stl(const std::string& path, const TriMesh& mesh, const std::string& solid_name) {
  const FacetWriter facets(mesh);
  internal::write_atomically(path, [&](std::FILE* file) {
    std::vector<char> buf(kFlushBytes + FacetWriter::kMaxFacet);
    const std::string head = solid_line("solid", solid_name), tail = solid_line("endsolid", solid_name);
    bool ok = std::fwrite(head.data(), 1, head.size(), file) == head.size();
    size_t used = 0;
    for (size_t t = 0; t < mesh.triangles.size() && ok; ++t) {
      used = facets.facet(t, buf.data() + used) - buf.data();
      if (used < kFlushBytes) continue;
      ok = std::fwrite(buf.data(), 1, used, file) == used;
      used = 0;
    }
    ok = ok && std::fwrite(buf.data(), 1, used, file) == used;
    return ok && std::fwrite(tail.data(), 1, tail.size(), file) == tail.size();
  });
}

}  // namespace orvanta::vsp
