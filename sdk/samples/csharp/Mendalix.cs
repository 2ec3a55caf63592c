// The calls of Mendalix.dll for .NET programs, AnyCPU (csc -platform:anycpu): a program that
// runs 64-bit (on 64-bit Windows) loads x64\Mendalix.dll from its folder, one that runs
// 32-bit Mendalix.dll, and the declarations below serve both. Every call takes the stdcall
// convention (the only one on 64-bit Windows) and returns 0 or link status flags.
using System;
using System.IO;
using System.Runtime.InteropServices;

public static class Mendalix
{
    // Runs before the first call: loads the library of this process's bitness by its full
    // path. The declarations name the bare file, which the system then finds loaded.
    static Mendalix()
    {
        string file = Environment.Is64BitProcess ? Path.Combine("x64", Dll) : Dll;
        LoadLibrary(Path.Combine(AppDomain.CurrentDomain.BaseDirectory, file));
    }

    [DllImport("kernel32.dll", CharSet = CharSet.Unicode)]
    static extern IntPtr LoadLibrary(string path);

    // Link status flags of a result word, and of a published link state.
    public const int LinkOk = 0x000;
    public const int LinkNoDriver = 0x002;          // the port has no control device
    public const int LinkDisconnected = 0x004;
    public const int LinkHostDongleFailed = 0x010;
    public const int LinkPrinterConnFailed = 0x020;
    public const int LinkAnswerBackFailed = 0x040;
    public const int LinkMainboardUnsupported = 0x100;
    public const int LinkStateNone = 255;           // a published state: nothing known yet

    // The driver's key under HKEY_LOCAL_MACHINE: BTiniPath names the settings file a query
    // writes its findings into; COM1ConnectState to COM4ConnectState hold the link states.
    public const string RegistryKey = @"System\CurrentControlSet\Services\Sarnovek\Parameters";
    public const string IniPathValue = "BTiniPath";
    public const string ConnectStateValue = "COM{0}ConnectState";

    const string Dll = "Mendalix.dll";
    const CallingConvention Stdcall = CallingConvention.StdCall;

    // Plain 8-bit texts: the port "COM1" to "COM4" and a printer address, "NONE", "NULL"
    // (drops the link) or a monitor command ("MON_ON" starts monitoring, any other stops it).
    [DllImport(Dll, CallingConvention = Stdcall, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int BT_OnQuery(string port, string text);
    [DllImport(Dll, CallingConvention = Stdcall, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int BT_OnConnect(string port, string address);
    [DllImport(Dll, CallingConvention = Stdcall, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int BT_OnMonitor(string port, string command);
    [DllImport(Dll, CallingConvention = Stdcall, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int BT_OnReset(string port, string text);
    [DllImport(Dll, CallingConvention = Stdcall, ExactSpelling = true)]
    public static extern int BT_long(ref int value);

    // The same calls with both texts as automation VARIANTs holding strings (BSTRs).
    [DllImport(Dll, EntryPoint = "BT_OnQuery", CallingConvention = Stdcall, ExactSpelling = true)]
    public static extern int BT_OnQueryVariant([In, MarshalAs(UnmanagedType.Struct)] ref object port,
                                               [In, MarshalAs(UnmanagedType.Struct)] ref object text);
    [DllImport(Dll, EntryPoint = "BT_OnConnect", CallingConvention = Stdcall, ExactSpelling = true)]
    public static extern int BT_OnConnectVariant([In, MarshalAs(UnmanagedType.Struct)] ref object port,
                                                 [In, MarshalAs(UnmanagedType.Struct)] ref object address);
    [DllImport(Dll, EntryPoint = "BT_OnMonitor", CallingConvention = Stdcall, ExactSpelling = true)]
    public static extern int BT_OnMonitorVariant([In, MarshalAs(UnmanagedType.Struct)] ref object port,
                                                 [In, MarshalAs(UnmanagedType.Struct)] ref object command);
    [DllImport(Dll, EntryPoint = "BT_OnReset", CallingConvention = Stdcall, ExactSpelling = true)]
    public static extern int BT_OnResetVariant([In, MarshalAs(UnmanagedType.Struct)] ref object port,
                                               [In, MarshalAs(UnmanagedType.Struct)] ref object text);
}
