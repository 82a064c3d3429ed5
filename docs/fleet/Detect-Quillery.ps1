# Intune Remediations, detection script. Run it as the logged-on user ("Run this script using the logged-on
# credentials": Yes), in 64-bit or 32-bit PowerShell: the doctor reads that user's Office settings.
# Exit code 0: Word, Excel and PowerPoint show the Quillery group. Exit code 1: they do not, no doctor is
# installed or it did not run, and the remediation runs. It prints the doctor's one line, under the 2,048
# characters Intune keeps.

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
& $doctor --summary
if ($LASTEXITCODE -eq 0) { exit 0 } else { exit 1 }
