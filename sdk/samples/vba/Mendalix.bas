Attribute VB_Name = "Mendalix"
' The calls of Mendalix.dll for VBA. A 32-bit Office loads Mendalix.dll, a 64-bit Office (Win64)
' the 64-bit library, x64\Mendalix.dll of the install folder: call UseLibraryIn with that folder
' once before the first call, and each Declare below finds the library of the right bitness.
' Office 2010 on (VBA7) declares them PtrSafe; earlier ones are 32-bit only. Strings passed
' ByVal reach the library as 8-bit texts; the ...Variant forms pass both texts as Variants
' holding strings. Every call returns 0 for success or link status flags (the LINK_ constants).
Option Explicit

Public Const LINK_OK As Long = &H0
Public Const LINK_NO_DRIVER As Long = &H2              ' the port has no control device
Public Const LINK_DISCONNECTED As Long = &H4
Public Const LINK_HOST_DONGLE_FAILED As Long = &H10
Public Const LINK_PRINTER_CONN_FAILED As Long = &H20
Public Const LINK_ANSWER_BACK_FAILED As Long = &H40
Public Const LINK_MAINBOARD_UNSUPPORTED As Long = &H100
Public Const LINK_STATE_NONE As Long = 255             ' a published link state: nothing known

#If VBA7 Then
Private Declare PtrSafe Function LoadLibraryA Lib "kernel32" (ByVal path As String) As LongPtr

Public Declare PtrSafe Function BT_OnQuery Lib "Mendalix.dll" (ByVal port As String, ByVal text As String) As Long
Public Declare PtrSafe Function BT_OnConnect Lib "Mendalix.dll" (ByVal port As String, ByVal address As String) As Long
Public Declare PtrSafe Function BT_OnMonitor Lib "Mendalix.dll" (ByVal port As String, ByVal command As String) As Long
Public Declare PtrSafe Function BT_OnReset Lib "Mendalix.dll" (ByVal port As String, ByVal text As String) As Long
Public Declare PtrSafe Function BT_long Lib "Mendalix.dll" (ByRef value As Long) As Long

Public Declare PtrSafe Function BT_OnQueryVariant Lib "Mendalix.dll" Alias "BT_OnQuery" _
    (ByRef port As Variant, ByRef text As Variant) As Long
Public Declare PtrSafe Function BT_OnConnectVariant Lib "Mendalix.dll" Alias "BT_OnConnect" _
    (ByRef port As Variant, ByRef address As Variant) As Long
Public Declare PtrSafe Function BT_OnMonitorVariant Lib "Mendalix.dll" Alias "BT_OnMonitor" _
    (ByRef port As Variant, ByRef command As Variant) As Long
Public Declare PtrSafe Function BT_OnResetVariant Lib "Mendalix.dll" Alias "BT_OnReset" _
    (ByRef port As Variant, ByRef text As Variant) As Long
#Else
Private Declare Function LoadLibraryA Lib "kernel32" (ByVal path As String) As Long

Public Declare Function BT_OnQuery Lib "Mendalix.dll" (ByVal port As String, ByVal text As String) As Long
Public Declare Function BT_OnConnect Lib "Mendalix.dll" (ByVal port As String, ByVal address As String) As Long
Public Declare Function BT_OnMonitor Lib "Mendalix.dll" (ByVal port As String, ByVal command As String) As Long
Public Declare Function BT_OnReset Lib "Mendalix.dll" (ByVal port As String, ByVal text As String) As Long
Public Declare Function BT_long Lib "Mendalix.dll" (ByRef value As Long) As Long

Public Declare Function BT_OnQueryVariant Lib "Mendalix.dll" Alias "BT_OnQuery" _
    (ByRef port As Variant, ByRef text As Variant) As Long
Public Declare Function BT_OnConnectVariant Lib "Mendalix.dll" Alias "BT_OnConnect" _
    (ByRef port As Variant, ByRef address As Variant) As Long
Public Declare Function BT_OnMonitorVariant Lib "Mendalix.dll" Alias "BT_OnMonitor" _
    (ByRef port As Variant, ByRef command As Variant) As Long
Public Declare Function BT_OnResetVariant Lib "Mendalix.dll" Alias "BT_OnReset" _
    (ByRef port As Variant, ByRef text As Variant) As Long
#End If

' Loads the library of this Office's bitness from folder (the install folder, "C:\Program
' Files (x86)\Quorvex" on 64-bit Windows); True when it loaded.
Public Function UseLibraryIn(ByVal folder As String) As Boolean
#If Win64 Then
    UseLibraryIn = (LoadLibraryA(folder & "\x64\Mendalix.dll") <> 0)
#Else
    UseLibraryIn = (LoadLibraryA(folder & "\Mendalix.dll") <> 0)
#End If
End Function

' Connects port ("COM1") to printer, and says so in the Immediate window.
Public Function ConnectPrinter(ByVal port As String, ByVal printer As String) As Boolean
    Dim r As Long
    r = BT_OnConnect(port, printer)
    Debug.Print "BT_OnConnect(" & port & ", " & printer & ") = &H" & Hex(r)
    ConnectPrinter = (r = LINK_OK)
End Function

' Drops the port's link: the driver answers LINK_DISCONNECTED.
Public Function DropLink(ByVal port As String) As Boolean
    DropLink = (BT_OnConnect(port, "NULL") = LINK_DISCONNECTED)
End Function
