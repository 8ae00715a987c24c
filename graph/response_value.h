// A complex response together with its logarithmic derivative, so that group delay comes out
// exact and per point, with no phase to unwrap between points.
#pragma once

#include <complex>

namespace corvella::graph {

using Complex = std::complex<double>;

struct ResponseValue {
  Complex h{1.0, 0.0};
  Complex slope{0.0, 0.0};  // d(ln h) / df, per Hz: its imaginary part is the phase's slope

  // Blocks in a chain multiply: their logarithmic derivatives add.
  ResponseValue& operator*=(const ResponseValue& other) {
    h *= other.h;
    slope += other.slope;
    return *this;
  }
};

// a / b without the library's general complex division, which guards against overflow and
// infinities at several times the cost; the responses here stay far from both.
inline Complex Divide(Complex a, Complex b) {
  return a * std::conj(b) / std::norm(b);
}

}  // namespace corvella::graph
