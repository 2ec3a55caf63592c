// PrintReceipt: query the printers in range of a port, connect one, print a few lines through
// the port and drop the link.   PrintReceipt COM1 0080372A0011
// Build: csc -platform:anycpu PrintReceipt.cs Mendalix.cs   (Mono: mcs -platform:anycpu ...);
// ship Mendalix.dll and x64\Mendalix.dll beside it.
using System;
using System.IO.Ports;

static class PrintReceipt
{
    static int Main(string[] args)
    {
        if (args.Length != 2)
        {
            Console.WriteLine("usage: PrintReceipt COM1 PRINTER-ADDRESS");
            return 2;
        }
        string port = args[0], printer = args[1];

        // The findings go into the settings file the driver's BTiniPath names.
        int r = Mendalix.BT_OnQuery(port, "NONE");
        Console.WriteLine("BT_OnQuery({0}) = 0x{1:X}", port, r);
        if (r != Mendalix.LinkOk) return 1;

        r = Mendalix.BT_OnConnect(port, printer);
        Console.WriteLine("BT_OnConnect({0}, {1}) = 0x{2:X}", port, printer, r);
        if (r != Mendalix.LinkOk) return 1;

        // The port has one opener at a time: open it to print, close it straight after.
        using (var serial = new SerialPort(port, 38400, Parity.None, 8, StopBits.One))
        {
            serial.RtsEnable = true;
            serial.ReadTimeout = 6000;
            serial.WriteTimeout = 1000;
            serial.Open();
            serial.Write("Thank you for shopping with us\r\nTotal 2.50\r\n\r\n\r\n");
        }

        // The same drop with the VARIANT form of the call.
        object vPort = port, vNull = "NULL";
        r = Mendalix.BT_OnConnectVariant(ref vPort, ref vNull);
        Console.WriteLine("BT_OnConnect({0}, NULL) = 0x{1:X}", port, r);
        return r == Mendalix.LinkDisconnected ? 0 : 1;
    }
}
