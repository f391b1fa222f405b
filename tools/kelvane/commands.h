// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/commands.h
//
// Every subcommand of the tool and every step of `kelvane demo`. main.cc adds the subcommands in
// the order below, which is the order the help lists them in; demo.cc runs the steps in the order
// it lists them.
#pragma once

#include "tools/kelvane/command.h"

namespace kelvane::cli {

// Each adds its subcommands to tool.app, each with its own options and callback.
void AddRecords(Tool& tool);  // records dump
void AddMd5(Tool& tool);      // md5
void AddHex(Tool& tool);      // hex encode|decode
void AddParam(Tool& tool);    // param
void AddLocale(Tool& tool);   // locale
void AddTime(Tool& tool);     // time
void AddStrings(Tool& tool);  // strings
void AddPalette(Tool& tool);  // palette
void AddNumber(Tool& tool);   // number format|parse
void AddColour(Tool& tool);   // colour
void AddUrl(Tool& tool);      // url encode|multipart|normalize|filter|safe-path|ip
void AddMime(Tool& tool);     // mime
void AddUti(Tool& tool);      // uti
void AddSecret(Tool& tool);   // secret set|get|delete
void AddCert(Tool& tool);     // cert
void AddArchive(Tool& tool);  // archive write|read
void AddImage(Tool& tool);    // image info|convert|resize|jpeg|pixel|tint|effect
void AddText(Tool& tool);     // text size|draw|fit
void AddFonts(Tool& tool);    // fonts
void AddAvatar(Tool& tool);   // avatar
void AddScreen(Tool& tool);   // screen
void AddNet(Tool& tool);      // net
void AddDemo(Tool& tool);     // demo

// The demo's steps; each returns an exit status.
int DemoRecords(DemoContext& context);
int DemoSecret(DemoContext& context);
int DemoArchive(DemoContext& context);
int DemoParam(DemoContext& context);
int DemoMd5(DemoContext& context);
int DemoLocale(DemoContext& context);
int DemoNumber(DemoContext& context);
int DemoTime(DemoContext& context);
int DemoStrings(DemoContext& context);
int DemoRuntime(DemoContext& context);
int DemoPalette(DemoContext& context);
int DemoUrl(DemoContext& context);
int DemoMime(DemoContext& context);
int DemoImage(DemoContext& context);
int DemoImageOperations(DemoContext& context);
int DemoImageEffects(DemoContext& context);
int DemoText(DemoContext& context);
int DemoInterface(DemoContext& context);
int DemoGallery(DemoContext& context);

}  // namespace kelvane::cli
