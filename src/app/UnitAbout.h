#pragma once
// The About box of the Help menu: texts from the translation file and two
// links.
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/Forms.h"
#include "platform/gui/StdCtrls.h"

namespace px {

class TAboutBox : public TForm {
 public:
  explicit TAboutBox(TComponent* owner);
  // A new box owned by owner, its texts translated, centred on the screen.
  static TAboutBox* Create(TComponent* owner);

  void lblwebsiteClick(TObject* sender);
  void lblcheckForUpdatesClick(TObject* sender);

  TPanel* Panel1;
  TLabel* ProductName;
  TLabel* Version;
  TLabel* Copyright;
  TLabel* Comments;
  TLabel* lblwebsite;
  TLabel* lblcheckForUpdates;
  TButton* OKButton;
};

}  // namespace px
