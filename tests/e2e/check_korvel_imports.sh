#!/usr/bin/env bash
# Halvora.exe imports from Korvel.dll, by name, exactly the frame operations
# a program built on the lobby frame uses, and the frame's start:
#   check_korvel_imports.sh <Halvora.exe>
set -euo pipefail
exe="${1:?usage: check_korvel_imports.sh <Halvora.exe>}"
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"
cxxfilt="${CXXFILT:-i686-w64-mingw32-c++filt}"

got="$("$objdump" -p "$exe" | sed -n '/DLL Name: Korvel.dll/,/^$/p' |
       awk 'NR > 2 && NF >= 3 {print $NF}' | "$cxxfilt" -n | sort)"
want="$(sort <<'LIST'
CKorvelApp::CKorvelApp()
CKorvelApp::~CKorvelApp()
CKorvelApp::InitInstance()
CKorvelApp::ExitInstance()
CKorvelApp::GetMessageMap() const
CKorvelDlg::CKorvelDlg(CWnd*)
CKorvelDlg::~CKorvelDlg()
CKorvelDlg::GetThisMessageMap()
CKorvelDlg::OnInitDialog()
CKorvelDlg::OnOK()
CKorvelDlg::OnCancel()
CKorvelDlg::SendSocketData(unsigned short, unsigned short, unsigned short, unsigned short, void*, unsigned short)
CKorvelDlg::SendSocketData(unsigned short, unsigned short, unsigned short, unsigned short)
CKorvelDlg::SendProcessData(unsigned short, unsigned short, void*, unsigned short)
CKorvelDlg::SendProcessData(unsigned short, unsigned short)
KorvelAppMain
LIST
)"
if [ "$got" = "$want" ]; then
  echo "ok: Halvora.exe imports the $(wc -l <<<"$want") Korvel.dll names"
  exit 0
fi
echo "Halvora.exe's imports from Korvel.dll differ (< got, > want):" >&2
diff <(echo "$got") <(echo "$want") >&2 || true
exit 1
