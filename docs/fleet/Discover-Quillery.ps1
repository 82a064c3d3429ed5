# Configuration Manager, the discovery script of a configuration item (data type Integer). Run it as the
# logged-on user ("Run scripts by using the logged on user credentials"), in 64-bit or 32-bit PowerShell: the
# doctor reads that user's Office settings. It writes one integer and nothing else, since each line a discovery
# script writes is a value: 0 when Word, Excel and PowerPoint show the Quillery group, 1 when one does not, -1
# when no doctor is installed or it did not run. The compliance rule: equals 0.

# The doctor where the installation says it is (its key, which only administrators write, names the string file
# in <installation folder>\strings, in either registry view), else in the Program Files folder of either
# bitness; by absolute path only, and found alike by the logged-on user and by SYSTEM.
$folders = foreach ($view in 'Registry64', 'Registry32') {
    $key = [Microsoft.Win32.RegistryKey]::OpenBaseKey('LocalMachine', $view).OpenSubKey('Software\Corvane\Toolbar_Office')
    if ($key) { $key.GetValue('XMLStrings') -replace '\\[^\\]+\\[^\\]+$' }
}
$programFiles = $env:ProgramW6432, ${env:ProgramFiles(x86)}, $env:ProgramFiles
$folders = @($folders) + @($programFiles | ForEach-Object { "$_\Corvane Quillery" })
$doctor = $folders | Where-Object { $_ -match '^[A-Za-z]:\\' } | ForEach-Object { "$_\quillery-doctor.exe" } |
    Where-Object { Test-Path -LiteralPath $_ -PathType Leaf } | Select-Object -First 1

$value = -1
if ($doctor) {
    # The doctor's own line would be a second value: it goes.
    $null = & $doctor --summary 2>&1
    if ($null -ne $LASTEXITCODE) { $value = [int]$LASTEXITCODE }
}
Write-Output $value
