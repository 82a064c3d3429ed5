# Intune Remediations, remediation script; Configuration Manager, the remediation script of the configuration
# item. Run it as the logged-on user, without elevation, in 64-bit or 32-bit PowerShell: the doctor's --repair
# undoes what Office did for this user (a LoadBehavior of 2, Disabled Items records naming the add-in) and
# refuses to run elevated or as SYSTEM (exit code 3). It keeps the previous values in
# %LOCALAPPDATA%\Corvane\Quillery for the way back. Exit code: the doctor's, or 1 when no doctor could run.

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

if (-not $doctor) {
    Write-Output 'Quillery is not installed: no quillery-doctor.exe; deploy its package first'
    exit 1
}
& $doctor --repair --summary
# PowerShell sets $LASTEXITCODE only when a program ran.
if ($null -eq $LASTEXITCODE) { exit 1 }
exit $LASTEXITCODE
