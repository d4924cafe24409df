// Named on/off options that no menu offers: the About box's hidden input opens a check list of
// them. States live in memory only, for the run of the program; every change made with OK is
// reported through OnOptionStateChanged.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"

class TosApplIni;
class TApplOptionsDlgForm;
class TOptions;

class TOptionItem {
 public:
  bool Enabled = false;
  std::string Name;

  // Position in the collection.
  int Index() const;
  // The collection's identifier of the item: unique, kept when other items go.
  int ID() const { return ID_; }

 private:
  friend class TOptions;
  TOptionItem(TOptions* Collection, int Id) : Collection_(Collection), ID_(Id) {}

  TOptions* Collection_;
  int ID_;
};

class TOptions {
 public:
  TOptions() = default;
  TOptions(const TOptions& Source) { Assign(Source); }
  TOptions& operator=(const TOptions& Source) {
    Assign(Source);
    return *this;
  }

  // A new disabled, unnamed item at the end.
  TOptionItem* Add();
  int Count() const { return static_cast<int>(Items_.size()); }
  // nullptr outside 0..Count-1.
  TOptionItem* Items(int Index) const;
  void Delete(int Index);
  void Clear() { Items_.clear(); }
  // Names and states of Source; the items get identifiers of this collection.
  void Assign(const TOptions& Source);

 private:
  friend class TOptionItem;
  std::vector<std::unique_ptr<TOptionItem>> Items_;
  int NextID_ = 0;
};

using TOptionStateChangedEvent =
    std::function<void(TObject* Sender, const std::string& Name, int Index, int Id)>;

class TosApplOptions : public platform::TComponent {
 public:
  explicit TosApplOptions(platform::TComponent* AOwner = nullptr);
  ~TosApplOptions() override;

  TOptions& Options() { return Options_; }
  void SetOptions(const TOptions& Value) { Options_ = Value; }
  // Not read or written: the options start as the program sets them on every run.
  TosApplIni* ApplIni() const { return ApplIni_; }
  void SetApplIni(TosApplIni* Value);
  TApplOptionsDlgForm* OptionsForm() const { return OptionsForm_.get(); }

  // The check list with OK and Cancel. True on OK; then each option whose mark changed takes it
  // and is reported, in collection order. Cancel changes nothing.
  bool Execute();

  TOptionStateChangedEvent OnOptionStateChanged;

 protected:
  void Notification(platform::TComponent* Component, platform::TOperation Operation) override;

 private:
  TOptions Options_;
  std::unique_ptr<TApplOptionsDlgForm> OptionsForm_;
  TosApplIni* ApplIni_ = nullptr;
};
