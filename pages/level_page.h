// The level and phase page (template 138): the level of one input or output on a slider from
// +12 dB down to -90 dB, the phase of an output, and the graph of the channel (the input's level
// line, or the output's whole response).
#pragma once

#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "pages/editor_page.h"
#include "pages/page_accessibility.h"
#include "pages/page_context.h"
#include "pages/page_decor.h"

namespace corvella::pages {

// Control IDs of template 138.
inline constexpr int kLevelSliderId = 1021;
inline constexpr int kLevelEditId = 1050;
inline constexpr int kPhaseNormalId = 1079;
inline constexpr int kPhaseInverseId = 1080;

// The page's channels: 0 MIC, 1 LINE, 2 HIGH, 3 LOW; 5 until the view first selects one.
inline constexpr int kLevelNoChannel = 5;

// The level trackbar: position 0 (top) is +12 dB, 204 (bottom) -90 dB. Like the system's trackbar
// it notifies every step it takes, and once more when a drag or a key ends ("end of track").
class LevelSlider : public QSlider, public OperatorSlider {
  Q_OBJECT

 public:
  explicit LevelSlider(QWidget* parent);
  // The edit that shows the level in words.
  void ShowValueIn(const QLineEdit* edit) { valueText_ = edit; }

  // OperatorSlider: a screen reader's setting is applied as a key's step is.
  void MoveAsOperator(int position) override;
  QString ValueText() const override;

 signals:
  // The position already holds the new value when this arrives.
  void notified();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  const QLineEdit* valueText_ = nullptr;
};

class LevelPage : public EditorPage {
  Q_OBJECT

 public:
  LevelPage(const PageContext& context, QWidget* parent);

  int Channel() const { return channel_; }
  // Shows the level (and for an output the phase) of `channel`; sends nothing.
  void LoadChannel(int channel);
  // The graph of an input: one line at its level.
  void DrawInputLevel();
  // The graph of an output: its six bands (band `currentBand`, 0-based, in green), its crossover
  // as the shared table holds it, and the sum.
  void DrawOutputResponse(int currentBand);
  void ShowPhaseControls(bool shown);
  // Sets and sends `output`'s phase (0 Normal, 1 Inverse) as a click on its button does,
  // whichever channel the page shows.
  void CommitPhase(int output, int phase);

  LevelSlider* Slider() const { return slider_; }
  QLineEdit* LevelEdit() const { return levelText_; }
  QRadioButton* NormalButton() const { return normal_; }
  QRadioButton* InverseButton() const { return inverse_; }
  GraphControl* Graph() const { return graph_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool ShowsOutput() const { return channel_ == 2 || channel_ == 3; }
  void OnLevelNotified();
  void OnPhaseClicked(int phase);
  void OnGraphTimer();

  const PageContext context_;  // a copy: it holds only references
  int channel_ = kLevelNoChannel;
  LevelSlider* slider_;
  QLineEdit* levelText_;
  QRadioButton* normal_;
  QRadioButton* inverse_;
  GraphControl* graph_;
  QTimer graphTimer_;  // the page's timer 1: draws the graph after the page has painted
};

}  // namespace corvella::pages
