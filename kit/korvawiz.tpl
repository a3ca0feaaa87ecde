; korvawiz.tpl - INF template of the KORVA Development Kit.
;
; The KORVA Installation Wizard makes a device-specific INF file from this template. It fills
; in three placeholders, each a name between two pairs of dollar signs: HWID (the device's
; first hardware ID), DEVDESC (the device description) and DRVNAME (the base name of the
; staged driver binary: korva, korval or korvav).

[Version]
Signature="$CHICAGO$"
Class=KorvaUsbDevices
ClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}
Provider=%ProviderName%
DriverVer=12/07/2026,2.20.0.0

[ClassInstall32]
AddReg=KorvaClass.AddReg

[ClassInstall]
AddReg=KorvaClass.AddReg

[KorvaClass.AddReg]
HKR,,,0,%ClassName%
HKR,,Icon,,-20

[Manufacturer]
%ProviderName%=KorvaModels,NTx86,NTamd64

; Systems that know no decorated models sections read this one.
[KorvaModels]
%DeviceDesc%=KorvaInstall,$$HWID$$

[KorvaModels.NTx86]
%DeviceDesc%=KorvaInstall,$$HWID$$

[KorvaModels.NTamd64]
%DeviceDesc%=KorvaInstall,$$HWID$$

[DestinationDirs]
DefaultDestDir=12
KorvaInstall.CopyFiles=12

[KorvaInstall]
CopyFiles=KorvaInstall.CopyFiles

[KorvaInstall.CopyFiles]
$$DRVNAME$$.sys

[KorvaInstall.HW]
AddReg=KorvaInstall.HW.AddReg

; The Cleanup Wizard recognises the kit's devices by this value of their hardware key.
[KorvaInstall.HW.AddReg]
HKR,,CleanupWizard_DeviceIdentString,,"{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}"

[KorvaInstall.Services]
AddService=$$DRVNAME$$,0x00000002,KorvaInstall.Service

[KorvaInstall.Service]
DisplayName=%ServiceName%
ServiceType=1
StartType=3
ErrorControl=1
ServiceBinary=%12%\$$DRVNAME$$.sys

[SourceDisksNames]
1=%DiskName%,,,

[SourceDisksFiles]
$$DRVNAME$$.sys=1

[Strings]
ProviderName="KORVA"
ClassName="KORVA USB Devices"
DeviceDesc="$$DEVDESC$$"
ServiceName="KORVA generic USB driver ($$DRVNAME$$)"
DiskName="KORVA Development Kit"
