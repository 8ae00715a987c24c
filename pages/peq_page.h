// The parametric-equaliser page shared by the input (two bands) and the output (six bands) pages:
// band buttons, type list, frequency/Q/gain edits with their spinners, the response graph.
#pragma once

#include <QString>
#include <QTimer>
#include <array>

#include "model/parameter_listing.h"
#include "model/value_input.h"
#include "pages/editor_page.h"
#include "pages/page_context.h"

class QComboBox;

namespace corvella::pages {

class DrawnButton;
class FilteredEdit;
class GraphControl;
class SpinBar;

// Spinner ranges and the positions the page starts with.
inline constexpr int kFrequencyBarMax = 120;
inline constexpr int kQBarMax = 72;
inline constexpr int kGainBarMax = 48;
inline constexpr int kFrequencyBarStart = 52;
inline constexpr int kQBarStart = 26;
inline constexpr int kGainBarStart = 24;
inline constexpr int kPeqEditLimit = 5;
inline constexpr int kPaintTimerMs = 100;

// The six filter types as the type list shows them (index = stored type).
inline constexpr std::array<const char*, 6> kPeqTypeTexts = {" None",     " Peaking",  " Bandpass",
                                                             " Hi-Shelf", " Lo-Shelf", " Notch"};

// What tells the two pages apart.
struct PeqPageLayout {
  int templateId;
  bool output;    // outputPeq and its frames, crossover in the sum
  int bandCount;  // 2 or 6
  int firstBandButton;
  int typeList;
  int frequencyEdit, qEdit, gainEdit;
  int frequencyBar, qBar, gainBar;
  const char* initialFrequencyText;
  // The stored fields the type, frequency, gain and Q controls edit.
  corvella::Field typeField, frequencyField, gainField, qField;
  double pixelsPerDb;
  const char* titles[2];
  QPoint titlePositions[2];
  int filterLabelY;
  std::array<int, 4> labelRows;  // "Type:", "Frequency:", "Q-Factor(Bandwidth)", "Level:"
};

class PeqPage : public EditorPage {
  Q_OBJECT

 public:
  int Channel() const { return channel_; }
  int Band() const { return band_; }  // 1-based

  // Loads band `band` (1-based) of `channel` into the controls; sends nothing.
  void ShowBand(int band, int channel);
  // The view's load for another channel: store it, repaint the page, load the current band.
  void LoadChannel(int channel);
  // Enables the value controls the current band's type uses.
  void UpdateEnables();
  // Redraws the graph with `currentBand` (0-based) as the highlighted band.
  void DrawPeqResponse(int currentBand);

  GraphControl& Graph() const { return *graph_; }

 protected:
  PeqPage(const PeqPageLayout& layout, const PageContext& context, QWidget* parent);

  void paintEvent(QPaintEvent* event) override;
  // The paint timer's graph pass; the output page recomputes its crossover first.
  virtual void OnPaintTimer();

  const PeqPageLayout& Layout() const { return layout_; }
  const PageContext& Context() const { return context_; }
  PeqBand& StoredBand(int band0, int channel) const;

 private:
  enum class Field { Type, Frequency, Gain, Q };

  // One value of the band with its edit and spinner. Spinner position = maximum - index, and the
  // stored code is index + codeOffset (frequency codes start at 1).
  struct ValueRow {
    Field field;
    std::uint8_t PeqBand::*code;
    int codeOffset;
    ParsedEdit (*parse)(std::string_view text);
    QString (*text)(int code);
    FilteredEdit* edit = nullptr;
    SpinBar* bar = nullptr;
  };

  void OnBandCommand(int id);
  void OnTypeSelected(int index);
  void CommitEdit(ValueRow& row);
  void ApplyScroll(ValueRow& row);
  void Commit(Field field);

  PeqPageLayout layout_;
  PageContext context_;
  int channel_ = 0;
  int band_ = 1;
  std::array<ValueRow, 3> rows_;
  QComboBox* typeList_;
  GraphControl* graph_;
  QTimer paintTimer_;
};

}  // namespace corvella::pages
