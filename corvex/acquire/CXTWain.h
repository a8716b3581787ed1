// Scanner and camera acquisition through a TWAIN source manager loaded at run time.
//
// The manager is a shared library exporting DSM_Entry. It is looked up by the name the application
// set with CXTW_SetLibraryName, or else "libcorvextwaindsm.so" and then "libtwaindsm.so"; an
// application (or a test) may also hand over an entry point directly with CXTW_SetEntryPoint.
// Every operation walks the TWAIN states up (1 loaded nothing, 2 manager loaded, 3 manager open,
// 4 source open, 5 source enabled, 6 transfer ready, 7 transferring) and back down again, so
// nothing stays loaded or open between calls, whatever the manager or the source answers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "corvex/acquire/twain.h"
#include "corvex/core/defs.h"
#include "corvex/core/utils.h"
#include "corvex/platform/object.h"

namespace corvex {

class TBitmap;
class TComponent;
class TIOParamsVals;

// ---- Where the source manager comes from --------------------------------------------------------

// The library to load; empty restores the defaults ("libcorvextwaindsm.so", then "libtwaindsm.so").
void CXTW_SetLibraryName(const std::string& Name);
std::string CXTW_GetLibraryName();
// An entry point used instead of loading a library; nullptr goes back to loading one.
void CXTW_SetEntryPoint(DSMENTRYPROC Entry);

// ---- Parameters -----------------------------------------------------------------------------------

struct TCXTWSourceCaps {
  TCXDoubleList XResolution, YResolution, XScaling, YScaling;
  TCXIntegerList PixelType;
  double Gamma = 2.2;
  double PhysicalHeight = 0, PhysicalWidth = 0;
  bool FeederEnabled = false;
  TCXIntegerList Orientation;
  bool Indicators = true;
  double AcquireFrame[4] = {0, 0, 0, 0};  // left, top, right, bottom in inches
  bool BufferedTransfer = true;
  bool DuplexEnabled = false;
  bool AcquireFrameEnabled = false;
};

// The acquisition settings an I/O component owns: the application's identity, the source list and
// the chosen source, whether the source shows its own dialog, and the capabilities to negotiate.
class TCXTWainParams : public TObject {
 public:
  explicit TCXTWainParams(TComponent* Owner = nullptr);
  ~TCXTWainParams() override;

  void SetDefaultParams();
  void Assign(const TCXTWainParams* Source);

  // Reads the source list once (later calls keep it).
  void FillSourceListData();
  int GetSourceCount();
  // The product name of source i; empty beyond the list.
  std::string GetSourceName(int i);
  // Selects the first source whose product name begins with Name, ignoring case.
  bool SelectSourceByName(const std::string& Name);
  // The index in the list of the manager's default source; -1 when there is none.
  int GetDefaultSource();
  int GetSelectedSource() const { return SelectedSource_; }
  void SetSelectedSource(int i) { SelectedSource_ = i; }

  bool ShowSettingsOnAcquire = true;
  TCXTWSourceCaps Caps;
  // Settings of the source's own, handed to it (DAT_CUSTOMDSDATA) after the capabilities are
  // negotiated, so that they win, when not empty; a source that refuses them ends the operation. What the block holds is the source's
  // business: Corvex's SANE source manager takes "name=value" lines of SANE options.
  std::string SourceData;

  const std::string& GetAppVersionInfo() const { return AppVersionInfo_; }
  const std::string& GetAppManufacturer() const { return AppManufacturer_; }
  const std::string& GetAppProductFamily() const { return AppProductFamily_; }
  const std::string& GetAppProductName() const { return AppProductName_; }
  void SetAppVersionInfo(const std::string& v) { AppVersionInfo_ = v; }
  void SetAppManufacturer(const std::string& v) { AppManufacturer_ = v; }
  void SetAppProductFamily(const std::string& v) { AppProductFamily_ = v; }
  void SetAppProductName(const std::string& v) { AppProductName_ = v; }

  // The identity this application announces to the manager (Id 0 until the manager assigns one).
  TW_IDENTITY AppIdentity() const;
  TComponent* GetOwner() const { return Owner_; }
  const std::vector<TW_IDENTITY>& SourceList() const { return Sources_; }

 private:
  TComponent* Owner_;
  int SelectedSource_ = 0;
  bool SourceListLoaded_ = false;
  std::vector<TW_IDENTITY> Sources_;
  std::string AppVersionInfo_, AppManufacturer_, AppProductFamily_, AppProductName_;
};

// ---- One pass through the TWAIN states ----------------------------------------------------------

// The operation record: the state reached, the manager's entry point and identities, the last
// return and condition codes. Every step checks the state it starts from and leaves the state
// unchanged when the manager or source refuses; Unwind (and the destructor) walks back down.
class TCXTWSession {
 public:
  explicit TCXTWSession(const TCXTWainParams* Params);
  ~TCXTWSession();
  TCXTWSession(const TCXTWSession&) = delete;
  TCXTWSession& operator=(const TCXTWSession&) = delete;

  int GetState() const { return State_; }
  TW_UINT16 GetLastRC() const { return RC_; }
  TW_UINT16 GetConditionCode() const { return CC_; }
  const TW_IDENTITY& GetSourceIdentity() const { return Source_; }

  // 1 → 2: finds DSM_Entry (injected, or in the library). False when neither is found.
  bool LoadManager();
  // 2 → 3: MSG_OPENDSM with the parent window handle.
  bool OpenManager(void* Parent = nullptr);
  // 3 → 4: opens the source with this product name, or the default source when Name is empty.
  // On refusal the condition code from DAT_STATUS is kept.
  bool OpenSource(const std::string& Name);
  // 4 → 5: MSG_ENABLEDS.
  bool EnableSource(bool ShowUI);
  // 5 → 6: offers the source events until it posts MSG_XFERREADY; false (still 5) when it asks
  // to close, refuses, or stays silent for MaxPolls events.
  bool WaitForTransfer(int MaxPolls = 1000);
  // 6 → 7 → 6/5: a buffered-memory transfer into Bitmap (pf1bit or pf24bit), the transfer
  // ended with MSG_ENDXFER. True only when the whole image arrived; otherwise Bitmap is emptied,
  // the progress record's abort flag is set and the state is back at 5 or 6.
  bool TransferMemory(TBitmap* Bitmap, TIOParamsVals* IOParams, TProgressRec& Progress);
  // 6 → 7 → 6/5: a native transfer: the source hands over a packed device-independent bitmap,
  // which is converted into Bitmap and freed. Same outcome rules as TransferMemory.
  bool TransferNative(TBitmap* Bitmap, TIOParamsVals* IOParams, TProgressRec& Progress);
  // The transfers still pending after the last MSG_ENDXFER (0 when none).
  int GetPendingCount() const { return Pending_; }
  // The image information of the last transfer.
  const TW_IMAGEINFO& GetImageInfo() const { return Info_; }
  // 4: asks the source for buffered-memory transfers (ICAP_XFERMECH = TWSX_MEMORY); false when
  // it refuses.
  bool NegotiateMemoryTransfer();
  // 4: sets the capabilities from Caps (units inches, chunky pixels, resolutions and scalings,
  // pixel type with its bit depth, feeder, orientation, indicators, duplex, frame). Refusals of
  // single capabilities are ignored: the source keeps its own value.
  void Negotiate(const TCXTWSourceCaps& Caps);
  // 4: reads the capabilities into Caps, with the defaults for those the source lacks.
  void ReadCapabilities(TCXTWSourceCaps& Caps);

  // 4: hands Data to the source as its own settings (DAT_CUSTOMDSDATA / MSG_SET).
  bool SetSourceData(const std::string& Data);

  // Manager queries (state 3 needed): the source list and the default source.
  bool ListSources(std::vector<TW_IDENTITY>& List);
  bool DefaultSource(TW_IDENTITY& Id);
  bool UserSelect(TW_IDENTITY& Id);

  // Walks the states down to State (MSG_ENDXFER/RESET, DISABLEDS, CLOSEDS, CLOSEDSM, unload).
  void Unwind(int State = 1);

 private:
  TW_UINT16 Call(pTW_IDENTITY Dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, void* Data);
  void FetchCondition(pTW_IDENTITY Dest);
  bool EndTransfer();
  bool SetOne(TW_UINT16 Cap, TW_UINT16 Type, TW_UINT32 Item);
  // Reads a capability's values (as 32-bit slots) and which of them is current; Range gets
  // min, max, step when the source answers with a range.
  bool GetValues(TW_UINT16 Cap, std::vector<TW_UINT32>& Items, TW_UINT16& Type, int& Current, TW_UINT32* Range);

  const TCXTWainParams* Params_;
  int State_ = 1;
  void* Library_ = nullptr;
  DSMENTRYPROC Entry_ = nullptr;
  void* Parent_ = nullptr;
  TW_UINT16 RC_ = TWRC_SUCCESS;
  TW_UINT16 CC_ = TWCC_SUCCESS;
  TW_IDENTITY App_{};
  TW_IDENTITY Source_{};
  TW_USERINTERFACE UI_{};
  int Pending_ = 0;
  TW_IMAGEINFO Info_{};
};

// Fills an image's parameter record from the source's image information (sample layout,
// resolution rounded to whole dots per inch, size, no colour map).
void CXTW_FillIOParams(TIOParamsVals* IOParams, const TW_IMAGEINFO& Info);

// procedure(Bitmap; var IOParams): called once per page of a feeder acquisition. The callback
// takes the bitmap's content and may point IOParams at the record of the new image.
using TCXTWMultiCallBack = TEvent<void(TBitmap* Bitmap, TIOParamsVals*& IOParams)>;

// Acquires from the selected source, with buffered-memory transfers when BufferedTransfer is set
// and the source accepts them, else native transfers. Single mode fills Bitmap and
// IOParams; multi-page mode hands each page to MultiCallBack and keeps going while the source
// has pages pending. True when at least one image arrived. A page that fails ends the batch
// (the pages already handed over stay), sets the abort flag and closes everything.
bool CXTW_Acquire(void* Parent, TBitmap* Bitmap, bool MultiPage, TCXTWMultiCallBack MultiCallBack,
                  TCXTWainParams* Params, TIOParamsVals* IOParams, TProgressRec& Progress);

// Opens the selected source, negotiates Caps when Negotiate is true, then reads the capabilities
// back into Caps; without negotiation the lists' change flags are cleared afterwards.
bool CXTW_GetCapabilities(TCXTWainParams* Params, TCXTWSourceCaps& Caps, bool Negotiate);

// ---- The application's calls ------------------------------------------------------------------------

// Clears List and fills it with the installed sources (identities with an empty name skipped).
bool CXTW_GetSourceList(std::vector<TW_IDENTITY>& List, const TCXTWainParams* Params = nullptr);
// The product name of the manager's default source, or empty.
std::string CXTW_GetDefaultSource(void* Parent, const TCXTWainParams* Params = nullptr);
// The manager's own selection dialog; true and the chosen product name on success.
bool CXTW_SelectImageSource(void* Parent, std::string& SourceName, const TCXTWainParams* Params = nullptr);

// The condition code the last operation on this thread ended with (TWCC_SUCCESS when it did not
// fail or the manager gave none), and a short English description of a condition code.
TW_UINT16 CXTW_GetLastCondition();
std::string CXTW_ConditionText(TW_UINT16 ConditionCode);

// A source's product name as a string, read no further than the field.
std::string CXTW_Name(const TW_STR32& Field);

}  // namespace corvex
