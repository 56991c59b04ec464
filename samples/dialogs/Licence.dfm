object Licence: TPoolTemplate
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
      Caption = 'License Agreement'
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
      Caption = 'Please review the license terms before installing $TITLE$.'
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
  object LicenceIntro: TLabel
    Left = 16
    Top = 68
    Width = 463
    Height = 14
    Caption = 'Press Page Down to see the rest of the agreement.'
  end
  object LicenceMemo: TMemo
    Left = 16
    Top = 88
    Width = 463
    Height = 180
    ScrollBars = ssVertical
    Tag = 2
    TabOrder = 3
  end
  object AgreeBox: TRzCheckBox
    Left = 16
    Top = 280
    Width = 463
    Height = 17
    Caption = 'I &accept the terms of the License Agreement'
    Hint = 'AGREE'
    TabOrder = 4
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
    Enabled = False
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
