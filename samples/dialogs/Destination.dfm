object Destination: TPoolTemplate
  Left = 200
  Top = 120
  BorderStyle = bsDialog
  Caption = '$TITLE$ Setup'
  ClientHeight = 360
  ClientWidth = 495
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Position = poScreenCenter
  object HeaderPanel: TPanel
    Left = 0
    Top = 0
    Width = 495
    Height = 57
    BevelOuter = bvNone
    Color = clWindow
    ParentColor = False
    object HeaderTitle: TLabel
      Left = 16
      Top = 10
      Width = 400
      Height = 14
      Caption = 'Choose Install Location'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -11
      Font.Name = 'MS Sans Serif'
      Font.Style = [fsBold]
      ParentFont = False
      Transparent = True
    end
    object HeaderText: TLabel
      Left = 28
      Top = 30
      Width = 440
      Height = 14
      Caption = 'Choose the folder in which to install $TITLE$.'
      Transparent = True
    end
  end
  object HeaderBevel: TBevel
    Left = 0
    Top = 57
    Width = 495
    Height = 2
    Shape = bsTopLine
  end
  object DestinationText: TLabel
    Left = 16
    Top = 72
    Width = 463
    Height = 42
    Caption = 'Setup will install $TITLE$ in the following folder. To install in a different folder, click Browse and select another folder. Click Next to continue.'
    WordWrap = True
  end
  object FolderGroup: TGroupBox
    Left = 16
    Top = 130
    Width = 463
    Height = 56
    Caption = ' Destination Folder '
    object TargetEdit: TEdit
      Left = 12
      Top = 22
      Width = 346
      Height = 21
      Hint = 'TARGETDIR'
      Tag = 2
      TabOrder = 0
    end
    object BrowseButton: TButton
      Left = 370
      Top = 21
      Width = 80
      Height = 23
      Caption = 'B&rowse...'
      Tag = 4
      TabOrder = 1
    end
  end
  object Bevel1: TBevel
    Left = 0
    Top = 313
    Width = 495
    Height = 2
    Shape = bsTopLine
  end
  object BackButton: TButton
    Left = 243
    Top = 326
    Width = 75
    Height = 23
    Caption = '< &Back'
    Enabled = True
    Tag = 2
    TabOrder = 1
  end
  object NextButton: TButton
    Left = 318
    Top = 326
    Width = 75
    Height = 23
    Caption = '&Next >'
    Default = True
    Enabled = True
    Tag = 1
    TabOrder = 0
  end
  object CancelButton: TButton
    Left = 405
    Top = 326
    Width = 75
    Height = 23
    Caption = 'Cancel'
    Enabled = True
    Tag = 3
    TabOrder = 2
  end
end
