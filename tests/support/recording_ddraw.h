// A DirectDraw/Direct3D that records every call it receives (as text, in order) and answers with
// configurable results, for checking the order and values of the display's platform calls.
#pragma once

#include "platform/platform.h"

#include <map>
#include <string>
#include <vector>

class RecordingDisplay {
public:
  RecordingDisplay();
  ~RecordingDisplay();

  // Calls, e.g. "DD.SetDisplayMode 640 480 32 0 0".
  std::vector<std::string> log;
  // A call whose name (e.g. "D3D.CreateDevice HAL") is listed here returns this result.
  std::map<std::string, HRESULT> fail;
  // What GetCaps reports and EnumTextureFormats offers.
  GUID deviceGuid = IID_IDirect3DHALDevice;
  DWORD textureCaps = D3DPTEXTURECAPS_POW2;
  std::vector<DDPIXELFORMAT> formats;
  int surfaceWidth = 640, surfaceHeight = 480;

  IDirectDraw7* directDraw() const { return dd_; }
  // Installs this object as what DirectDrawCreateEx hands out; undone on destruction.
  void InstallAsFactory();

  HRESULT Result(const std::string& call);

private:
  IDirectDraw7* dd_;
};

std::string GuidName(REFGUID g);
