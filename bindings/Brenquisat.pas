{ Brenquisat for Delphi and Free Pascal: the six exports of Brenquisat.dll.

  Add this unit to the project and put Brenquisat.dll beside the program: the
  win32 package's DLL for a 32-bit program, the win64 package's for a 64-bit one
  (the process's width decides, not Windows').  The program imports the DLL when
  it starts and keeps it loaded until it ends: unloading the library with the
  device open would set full level back.

  After a result of 0 or False, GetLastError (unit Windows) returns the
  DirectSound HRESULT that decided it; read it into a variable before anything
  else, as writing a message may change it.  Before the program ends, call
  ReleaseDS (on Wine a process that ends with a DirectSound device open can fail
  on its way out). }
unit Brenquisat;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

interface

const
  BrenquisatDll = 'Brenquisat.dll';

{ cdecl: both compilers otherwise use register.  LongInt: 32 bits everywhere,
  where Integer is 16 in Free Pascal's default mode.  ByteBool: MuteDS and
  UnmuteDS set only the low byte of the result register; BOOL or LongBool
  would read three more, undefined, bytes. }
function InitDS: LongInt; cdecl; external BrenquisatDll;
procedure ReleaseDS; cdecl; external BrenquisatDll;
function SetDSVolume(Volume: LongInt): LongInt; cdecl; external BrenquisatDll;
function MuteDS: ByteBool; cdecl; external BrenquisatDll;
function UnmuteDS: ByteBool; cdecl; external BrenquisatDll;
function GetDSVolume(out Volume: LongInt): LongInt; cdecl; external BrenquisatDll;

implementation

end.
