// Every parameter of a set as a named row with its code and display text, grouped as the editor
// pages group them; and the differences between two sets, row by row. The `show` listing, the
// comparison with a unit and the synchronisation all read the set through these rows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/program_parameters.h"

namespace corvella {

// Which stored value a row shows. Input and output equaliser fields are told apart because the
// unit takes them with different commands.
enum class Field {
  ProgramNumber,
  ProgramName,
  InputPeqType,
  InputPeqFrequency,
  InputPeqQ,
  InputPeqGain,
  HpfType,
  HpfFrequency,
  LpfType,
  LpfFrequency,
  OutputPeqType,
  OutputPeqFrequency,
  OutputPeqQ,
  OutputPeqGain,
  Delay,
  Threshold,
  Ratio,
  Release,
  Attack,
  AuxTime,  // no control on the pages, but the compressor frame sends it as stored
  InputLevel,
  OutputLevel,
  Phase,
};

// A field of one channel (0 MIC / 1 LINE for inputs, 0 HIGH / 1 LOW for outputs) and band
// (0-based; 0 where there are no bands).
struct ParameterRef {
  Field field = Field::ProgramNumber;
  int channel = 0;
  int band = 0;

  friend bool operator==(const ParameterRef&, const ParameterRef&) = default;
};

struct ParameterRow {
  ParameterRef ref;
  std::string section;    // "Crossover LOW", as the listing's heading
  std::string parameter;  // "hpf frequency"
  long code = 0;          // the stored code (0 for the name, which is text)
  std::string text;       // its display text
  bool isText = false;    // the row is text without a code (the program name)
  // How the line spells a text row when that is not the text as stored (a name holding "(" or
  // a NUL); empty otherwise.
  std::string sentAs;
};

// The rows of every parameter in listing order, program number and name first.
std::vector<ParameterRow> ListParameters(const ProgramParameters& p);

struct ParameterDifference {
  ParameterRow a;  // the row as the first set has it
  ParameterRow b;  // and as the second
};

// Every row in which a unit would hold `a` differently from `b` (their unit forms differ), in
// listing order, with the rows as the two sets list them. The program number is left out: it says
// which memory holds a program, not what the program is, and no download writes it.
std::vector<ParameterDifference> DiffParameters(const ProgramParameters& a,
                                                const ProgramParameters& b);

// "<section> <parameter>: <code> <text> -> <code> <text>" (the name without codes).
std::string DifferenceLine(const ParameterDifference& d);

// " None" .. " Notch" as the equaliser pages list them, without the leading blank; "?" for a type
// outside 0..5.
std::string_view PeqTypeName(int type);
// "-12dB Butterworth" .. "-24dB Linkwitz-Riley"; "?" for a type outside 0..11.
std::string_view CrossoverTypeName(int type);

}  // namespace corvella
