<#
.SYNOPSIS
Removes what install.ps1 installed: the printer, its TCP/IP port, the driver, the package in the
driver store and, with -RemoveCertificate, the test-signing certificate.

.EXAMPLE
.\uninstall.ps1 -Address 192.0.2.10 -RemoveCertificate
#>
[CmdletBinding()]
param(
    [string]$PrinterName = 'QXVN LP2 Label Printer',
    # The address install.ps1 made a TCP/IP port to; the port goes when no printer uses it.
    [string]$Address,
    [int]$PortNumber = 9100,
    [switch]$RemoveCertificate,
    [string]$CertificateSubject = 'CN=QXVN LP2 test driver signing'
)

$ErrorActionPreference = 'Stop'
Set-StrictMode -Version 3.0
$DriverName = 'QXVN LP2 Label Printer'

function Step([string]$text) { Write-Host "==> $text" }

$identity = [Security.Principal.WindowsPrincipal][Security.Principal.WindowsIdentity]::GetCurrent()
if (-not $identity.IsInRole([Security.Principal.WindowsBuiltInRole]::Administrator)) {
    throw 'Run this script from a PowerShell started as an administrator.'
}

if (Get-Printer -Name $PrinterName -ErrorAction SilentlyContinue) {
    Step "Printer $PrinterName"
    Remove-Printer -Name $PrinterName
}

if ($Address) {
    $port = if ($PortNumber -eq 9100) { "IP_$Address" } else { "IP_${Address}_$PortNumber" }
    if ((Get-PrinterPort -Name $port -ErrorAction SilentlyContinue) -and
        -not (Get-Printer | Where-Object { $_.PortName -eq $port })) {
        Step "Port $port"
        Remove-PrinterPort -Name $port
    }
}

$users = @(Get-Printer | Where-Object { $_.DriverName -eq $DriverName })
if ($users.Count -gt 0) {
    Write-Warning "The driver stays: $($users.Name -join ', ') still use it."
} else {
    if (Get-PrinterDriver -Name $DriverName -ErrorAction SilentlyContinue) {
        Step "Printer driver $DriverName"
        Remove-PrinterDriver -Name $DriverName
    }
    # The store names the package oemNN.inf; find it by its original name.
    $published = Get-WindowsDriver -Online | Where-Object { $_.OriginalFileName -like '*\qxvn.inf' }
    foreach ($package in $published) {
        Step "Driver store: pnputil /delete-driver $($package.Driver)"
        & pnputil.exe /delete-driver $package.Driver /uninstall | Out-Host
        if ($LASTEXITCODE -ne 0) { throw "pnputil /delete-driver failed (exit code $LASTEXITCODE)" }
    }
}

if ($RemoveCertificate) {
    Step "Test-signing certificate $CertificateSubject"
    foreach ($store in 'My', 'Root', 'TrustedPublisher') {
        Get-ChildItem "Cert:\LocalMachine\$store" | Where-Object { $_.Subject -eq $CertificateSubject } |
            Remove-Item
    }
}
Write-Host 'Removed.'
