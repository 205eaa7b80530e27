{ A Free Pascal host that uses bindings/Brenquisat.pas as a host developer would.
    pascal_host wine      beside the shipped DLL, on Wine's DirectSound
    pascal_host refusing  beside refusing_dll: MuteDS and UnmuteDS refuse with the
                          result register's upper bytes set
  Prints one line a check and ends with status 1 if any failed. }
program PascalHost;

{$MODE DELPHI}

uses Windows, SysUtils, Brenquisat;

const
  DSERR_INVALIDPARAM = $80070057;
  DSERR_CONTROLUNAVAIL = $8878001E;

var
  Failures: Integer = 0;

procedure Check(const Call: string; Ok: Boolean);
begin
  if Ok then WriteLn('ok    ', Call) else WriteLn('FAIL  ', Call);
  if not Ok then Inc(Failures);
end;

{ A refusal and the code it left, read before anything else runs. }
procedure CheckRefused(const Call: string; Refused: Boolean; Expected: DWORD);
var
  Code: DWORD;
begin
  Code := GetLastError;
  Check(Format('%s refused with $%.8x (got $%.8x)', [Call, Expected, Code]), Refused and (Code = Expected));
end;

var
  Level: LongInt;
begin
  if ParamStr(1) = 'refusing' then
  begin
    CheckRefused('MuteDS = False', not MuteDS, DSERR_CONTROLUNAVAIL);
    CheckRefused('UnmuteDS = False', not UnmuteDS, DSERR_CONTROLUNAVAIL);
  end
  else
  begin
    Check('InitDS = 1', InitDS = 1);
    Check('SetDSVolume(-600) = 1', SetDSVolume(-600) = 1);
    Level := 1;
    Check('GetDSVolume = 1, level -600', (GetDSVolume(Level) = 1) and (Level = -600));
    Check('MuteDS = True', MuteDS);
    Check('GetDSVolume = 1, level -10000', (GetDSVolume(Level) = 1) and (Level = -10000));
    Check('UnmuteDS = True', UnmuteDS);
    Check('GetDSVolume = 1, level 0', (GetDSVolume(Level) = 1) and (Level = 0));
    CheckRefused('SetDSVolume(1) = 0', SetDSVolume(1) = 0, DSERR_INVALIDPARAM);
    ReleaseDS;
  end;
  WriteLn(Failures, ' failed');
  if Failures > 0 then Halt(1);
end.
