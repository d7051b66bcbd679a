<#
.SYNOPSIS
Installs the QXVN LP2 label printer driver and a printer that uses it.

.DESCRIPTION
Run from an elevated PowerShell in the package folder. On a test machine (the default) it makes
a self-signed code-signing certificate, trusts it in the machine's Root and TrustedPublisher
stores, makes the package's catalog qxvn.cat (with Inf2Cat when the Windows Driver Kit is
installed, else with New-FileCatalog) and signs it. With -Signed it takes the package as a
signed release whose qxvn.cat is already signed, and skips all that. Then it adds the package
to the driver store (pnputil /add-driver), installs the driver (Add-PrinterDriver), makes or
takes the port (the USB port given, or a Standard TCP/IP port to the address given) and adds
the printer (Add-Printer). uninstall.ps1 undoes it.

.EXAMPLE
.\install.ps1 -Address 192.0.2.10
.EXAMPLE
.\install.ps1 -UsbPort USB001 -PrinterName "Labels"
.EXAMPLE
.\install.ps1 -Signed -Address 192.0.2.10
#>
[CmdletBinding(DefaultParameterSetName = 'Network')]
param(
    # The name the printer gets in Windows.
    [string]$PrinterName = 'QXVN LP2 Label Printer',
    # The USB port Windows made when the printer was plugged in and switched on (USB001, ...).
    [Parameter(ParameterSetName = 'Usb', Mandatory = $true)][string]$UsbPort,
    # The printer's network address: a raw (AppSocket) TCP/IP port is made to it.
    [Parameter(ParameterSetName = 'Network', Mandatory = $true)][string]$Address,
    [Parameter(ParameterSetName = 'Network')][ValidateRange(1, 65535)][int]$PortNumber = 9100,
    # The package is a signed release: qxvn.cat is there and signed by a trusted publisher.
    [switch]$Signed,
    # The subject of the test certificate made, or taken when it exists.
    [string]$CertificateSubject = 'CN=QXVN LP2 test driver signing'
)

$ErrorActionPreference = 'Stop'
Set-StrictMode -Version 3.0

# The model's name in qxvn.inf, and the catalog its CatalogFile= line names.
$DriverName = 'QXVN LP2 Label Printer'
$CatalogName = 'qxvn.cat'

$package = $PSScriptRoot
$inf = Join-Path $package 'qxvn.inf'
$catalog = Join-Path $package $CatalogName

function Step([string]$text) { Write-Host "==> $text" }

$identity = [Security.Principal.WindowsPrincipal][Security.Principal.WindowsIdentity]::GetCurrent()
if (-not $identity.IsInRole([Security.Principal.WindowsBuiltInRole]::Administrator)) {
    throw 'Run this script from a PowerShell started as an administrator.'
}
if (-not (Test-Path $inf)) { throw "qxvn.inf is not in ${package}: run the script from the unpacked package." }

if ($Signed) {
    if (-not (Test-Path $catalog)) { throw "$CatalogName is missing: a signed release ships it beside qxvn.inf." }
    $signature = Get-AuthenticodeSignature -FilePath $catalog
    if ($signature.Status -ne 'Valid') {
        throw "$CatalogName is not validly signed ($($signature.Status)): $($signature.StatusMessage)"
    }
} else {
    Step "Test-signing certificate $CertificateSubject"
    $certificate = Get-ChildItem Cert:\LocalMachine\My -CodeSigningCert |
        Where-Object { $_.Subject -eq $CertificateSubject -and $_.NotAfter -gt (Get-Date).AddDays(1) } |
        Select-Object -First 1
    if (-not $certificate) {
        $certificate = New-SelfSignedCertificate -Type CodeSigningCert -Subject $CertificateSubject `
            -CertStoreLocation Cert:\LocalMachine\My -HashAlgorithm SHA256 -NotAfter (Get-Date).AddYears(5)
    }
    # Trusted as a root and as a publisher of this machine, so that the store takes the package.
    $public = Join-Path ([IO.Path]::GetTempPath()) 'qxvn-test-signing.cer'
    Export-Certificate -Cert $certificate -FilePath $public -Force | Out-Null
    foreach ($store in 'Root', 'TrustedPublisher') {
        Import-Certificate -FilePath $public -CertStoreLocation "Cert:\LocalMachine\$store" | Out-Null
    }
    Remove-Item $public

    Step "Catalog $CatalogName"
    Remove-Item $catalog -ErrorAction SilentlyContinue
    $inf2cat = Get-Command Inf2Cat.exe -ErrorAction SilentlyContinue
    if (-not $inf2cat) {
        $inf2cat = Get-ChildItem "${env:ProgramFiles(x86)}\Windows Kits\10\bin" -Recurse -Filter Inf2Cat.exe `
            -ErrorAction SilentlyContinue | Where-Object { $_.FullName -match '\\x86\\' } | Select-Object -Last 1
    }
    if ($inf2cat) {
        $path = if ($inf2cat -is [IO.FileInfo]) { $inf2cat.FullName } else { $inf2cat.Source }
        & $path "/driver:$package" '/os:10_X64' | Out-Host
        if ($LASTEXITCODE -ne 0) { throw "Inf2Cat failed (exit code $LASTEXITCODE)" }
    } else {
        # Made beside the package, then moved in, so that the catalog does not list itself.
        $made = Join-Path ([IO.Path]::GetTempPath()) $CatalogName
        Remove-Item $made -ErrorAction SilentlyContinue
        New-FileCatalog -Path $package -CatalogFilePath $made -CatalogVersion 2.0 | Out-Null
        Move-Item $made $catalog
    }
    $signature = Set-AuthenticodeSignature -FilePath $catalog -Certificate $certificate -HashAlgorithm SHA256
    if ($signature.Status -ne 'Valid') { throw "Signing $CatalogName failed: $($signature.StatusMessage)" }
}

Step 'Driver store: pnputil /add-driver qxvn.inf'
& pnputil.exe /add-driver $inf | Out-Host
# 0 added; 3010 added, a restart pending; 259 the same package is there already.
if ($LASTEXITCODE -notin 0, 259, 3010) { throw "pnputil /add-driver failed (exit code $LASTEXITCODE)" }

Step "Printer driver $DriverName"
Add-PrinterDriver -Name $DriverName

if ($PSCmdlet.ParameterSetName -eq 'Usb') {
    $port = $UsbPort
    if (-not (Get-PrinterPort -Name $port -ErrorAction SilentlyContinue)) {
        throw "There is no port $port. Plug in and switch on the printer; Get-PrinterPort lists the ports."
    }
} else {
    $port = if ($PortNumber -eq 9100) { "IP_$Address" } else { "IP_${Address}_$PortNumber" }
    if (-not (Get-PrinterPort -Name $port -ErrorAction SilentlyContinue)) {
        Step "Port $port (TCP/IP $Address, port $PortNumber)"
        Add-PrinterPort -Name $port -PrinterHostAddress $Address -PortNumber $PortNumber
    }
}

Step "Printer $PrinterName on $port"
$existing = Get-Printer -Name $PrinterName -ErrorAction SilentlyContinue
if ($existing) {
    Set-Printer -Name $PrinterName -DriverName $DriverName -PortName $port
} else {
    Add-Printer -Name $PrinterName -DriverName $DriverName -PortName $port
}
Write-Host "Installed. The label settings are on the printer's Properties, page 'Label settings', or:"
Write-Host "    .\qxvnconf.exe `"$PrinterName`" show"
